#ifndef VESTIBAR_BESIDE_PROGRAM_H
#define VESTIBAR_BESIDE_PROGRAM_H

#include <string>

// A name from the command line taken relative to the running program's
// folder (an absolute path stays as it is), so that the test folder can be
// copied elsewhere, into a guest machine, whole.
std::string BesideProgram(const std::string &name);

#endif
