// MIME entities (RFC 2045, 2046): Content-Type with its parameters,
// Content-Transfer-Encoding, and the parts of a multipart body.
#ifndef VESTIBAR_EXPORT_MIME_CONTENT_H
#define VESTIBAR_EXPORT_MIME_CONTENT_H

#include <string>
#include <string_view>
#include <vector>

#include "fields.h"

namespace vexport::mime {

struct Parameter {
    std::string name;        // lower case
    std::string value;       // without quotes and quoted-pairs
    std::string_view text;   // "name=value" as it stands
};

// A Content-Type or Content-Disposition value: "type/subtype" (or the
// disposition) and its parameters.
struct ParameterValue {
    std::string head;        // lower case
    std::string_view headText;
    std::vector<Parameter> parameters;
    const Parameter* Find(std::string_view name) const;
};
ParameterValue ReadParameterValue(std::string_view value);

// Writes a Content-Type or Content-Disposition value in UTF-8, a parameter
// with bytes beyond ASCII as RFC 2231 "name*=UTF-8''..." (what readers
// take for file names), the rest as it stands.  `charset`, when not empty,
// replaces the charset parameter (or is added).
void WriteParameterValue(FieldWriter& writer, const ParameterValue& value, std::string_view charset);

// The lower-case token of a Content-Transfer-Encoding value.
std::string ReadTransferEncoding(std::string_view value);

// One delimited part of a multipart body.
struct BodyPart {
    std::string_view delimiter;  // its delimiter line, with its line end
    std::string_view content;    // the part, without the line end before the next delimiter
};

// A multipart body split at `boundary`: what comes before the first
// delimiter, the parts, the close delimiter line and what follows it.
// `parts` stays empty when no delimiter is found.
struct Multipart {
    std::string_view preamble;
    std::vector<BodyPart> parts;
    std::string_view close;     // empty when the close delimiter is missing
    std::string_view epilogue;
};
Multipart SplitMultipart(std::string_view body, std::string_view boundary);

}  // namespace vexport::mime

#endif
