// Deterministic generators of test texts: random mixtures that reach every
// path of the converter (escapes, shifts, all three 8-bit codes, broken
// bytes, long runs for the vector code), and well-formed mail in one code.
#ifndef VESTIBAR_TESTS_NKF32_NKF_TEXT_GENERATOR_H
#define VESTIBAR_TESTS_NKF32_NKF_TEXT_GENERATOR_H

#include <string>

#include "nkf_test_util.h"

enum TextFlavour {
    FLAVOUR_EUC,
    FLAVOUR_SJIS,
    FLAVOUR_JIS,
    FLAVOUR_UTF8,
    FLAVOUR_CHAOS,
    FLAVOUR_MIXED,
    FLAVOUR_COUNT
};

// A random text of up to about maxLength bytes.
std::string RandomText(TestRandom* r, TextFlavour flavour, int maxLength);

enum MailCode { MAIL_ISO2022JP, MAIL_EUCJP, MAIL_SHIFTJIS };

// A well-formed mail in one code: ASCII header lines, a Subject and body
// lines of JIS X 0208 characters (the defined cells of rows 1-84),
// half-width kana and ASCII, all lines ended by CR LF.  The
// 8-bit codes open their body with a character only that code allows, so
// the reading of the text is never in doubt.
std::string RandomMail(TestRandom* r, MailCode code, int bodyLines);

#endif
