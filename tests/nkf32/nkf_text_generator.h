// A deterministic generator of well-formed mail in one code, for the
// comparisons with nkf.
#ifndef VESTIBAR_TESTS_NKF32_NKF_TEXT_GENERATOR_H
#define VESTIBAR_TESTS_NKF32_NKF_TEXT_GENERATOR_H

#include <string>

#include "nkf_test_util.h"

enum MailCode { MAIL_ISO2022JP, MAIL_EUCJP, MAIL_SHIFTJIS };

// A well-formed mail in one code: ASCII header lines, a Subject and body
// lines of JIS X 0208 characters (the defined cells of rows 1-84),
// half-width kana and ASCII, all lines ended by CR LF.  The
// 8-bit codes open their body with a character only that code allows, so
// the reading of the text is never in doubt.
std::string RandomMail(TestRandom* r, MailCode code, int bodyLines);

#endif
