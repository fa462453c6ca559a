// What the stand-in NKF32.dll that lengthens the header block writes in front
// of every converted text (lengthening_nkf32.cpp), shared with its tests.
#ifndef VESTIBAR_LENGTHENING_NKF32_H
#define VESTIBAR_LENGTHENING_NKF32_H

// The line in front: this name, the option string, dots, CR LF; 127 bytes,
// all the growth the program allows beyond twice the input.
#define LENGTHENING_PREFIX_NAME "X-Converter-Option: "
enum {
    LENGTHENING_PREFIX_SIZE = 127,
    LENGTHENING_OPTION_ROOM = 8  // longer option strings are cut to 7 bytes
};

#endif
