// The subcommands of vokcli. Each takes the arguments after its name and
// returns the process exit status.
#pragma once

namespace vokcli {

int runS2j(int argc, char** argv);
int runJ2s(int argc, char** argv);
int runMkpatn(int argc, char** argv);

}  // namespace vokcli
