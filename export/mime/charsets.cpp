#include "charsets.h"

#include "fields.h"

namespace vexport::mime {

Charset ReadCharsetLabel(std::string_view label)
{
    label = TrimBlanks(label);
    std::size_t star = label.find('*');
    if (star != std::string_view::npos)
        label = label.substr(0, star);
    struct Known {
        const char* name;
        Charset charset;
    };
    // The labels 1990s Japanese mail programs wrote, and their aliases in
    // the IANA registry and the WHATWG Encoding Standard.
    static const Known kKnown[] = {
        {"iso-2022-jp", {Label::kJapanese, NKF_HINT_ISO2022JP}},
        {"csiso2022jp", {Label::kJapanese, NKF_HINT_ISO2022JP}},
        {"iso-2022-jp-1", {Label::kJapanese, NKF_HINT_ISO2022JP}},
        {"iso-2022-jp-3", {Label::kJapanese, NKF_HINT_ISO2022JP}},
        {"shift_jis", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"shift-jis", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"sjis", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"x-sjis", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"ms_kanji", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"csshiftjis", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"windows-31j", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"cp932", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"ms932", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"x-ms-cp932", {Label::kJapanese, NKF_HINT_SHIFT_JIS}},
        {"euc-jp", {Label::kJapanese, NKF_HINT_EUC_JP}},
        {"x-euc-jp", {Label::kJapanese, NKF_HINT_EUC_JP}},
        {"eucjp", {Label::kJapanese, NKF_HINT_EUC_JP}},
        {"cseucpkdfmtjapanese", {Label::kJapanese, NKF_HINT_EUC_JP}},
        {"utf-8", {Label::kJapanese, NKF_HINT_UTF8}},
        {"utf8", {Label::kJapanese, NKF_HINT_UTF8}},
        // ASCII labels on 8-bit text were the common mistake of the time.
        {"us-ascii", {Label::kNone, NKF_HINT_NONE}},
        {"ascii", {Label::kNone, NKF_HINT_NONE}},
        {"unknown-8bit", {Label::kNone, NKF_HINT_NONE}},
        {"x-unknown", {Label::kNone, NKF_HINT_NONE}},
    };
    if (label.empty())
        return {Label::kNone, NKF_HINT_NONE};
    for (const Known& known : kKnown)
        if (EqualsNoCase(label, known.name))
            return known.charset;
    return {Label::kOther, NKF_HINT_NONE};
}

Utf8Converter::Utf8Converter(bool preferEuc) : options_(NkfCoreParseOptions(preferEuc ? "s" : "Xs")) {}

void Utf8Converter::Append(std::string& out, std::string_view text, NkfCharsetHint hint, bool lf)
{
    std::size_t need = NkfUtf8Capacity(text.size());
    if (need > capacity_) {
        scratch_.reset(new char[need]);
        capacity_ = need;
    }
    NkfUtf8Result result = NkfCoreConvertToUtf8(scratch_.get(), text.data(), text.size(), options_, hint,
                                                lf ? NKF_LINE_ENDS_LF : NKF_LINE_ENDS_KEPT);
    replaced_ += result.replaced;
    out.append(scratch_.get(), result.length);
}

}  // namespace vexport::mime
