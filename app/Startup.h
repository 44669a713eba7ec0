#pragma once

// The program's entry: prepares the process, opens the database, asks for a
// login and runs the main window.
namespace Startup {

int run(int argc, char *argv[]);

} // namespace Startup
