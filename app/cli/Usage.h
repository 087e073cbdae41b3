// What the command line tells about itself, in the message language: the
// text of --help, and the usage errors (the parser's own included), each as
// "undelete: " + the reason, then where to read the usage.
#pragma once
#include <string>

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace undelete {

// The whole of --help: usage, what the program reads, every option, the
// output, the exit status.
std::string helpText();

// Prints `error` (one of the parser's) as a usage error of this program.
void reportParseError(const CLI::App& app, const CLI::ParseError& error);

// Prints the line that follows every usage error and returns the usage
// exit status.
int endWithUsageHint();

}  // namespace undelete
