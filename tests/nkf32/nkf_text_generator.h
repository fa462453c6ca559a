#ifndef VESTIBAR_TESTS_NKF32_NKF_TEXT_GENERATOR_H
#define VESTIBAR_TESTS_NKF32_NKF_TEXT_GENERATOR_H

#include <string>

#include "nkf_test_util.h"

enum MailCode { MAIL_ISO2022JP, MAIL_EUCJP, MAIL_SHIFTJIS };

// A well-formed mail in one code, deterministic: ASCII header lines, a
// Subject and body lines of defined JIS X 0208 cells (rows 1-84), half-width
// kana and ASCII, CR LF line ends.  The 8-bit codes open their body with a
// character only that code allows, so the reading is never in doubt.
std::string RandomMail(TestRandom* r, MailCode code, int bodyLines);

#endif
