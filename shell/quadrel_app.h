#pragma once

namespace quadrel {

// The program: the log, the settings, the command line (`quadrel [FILE]`, `--register`, `--unregister`),
// the document and the main window. Returns the process's exit status.
int runQuadrel(int argc, char** argv);

} // namespace quadrel
