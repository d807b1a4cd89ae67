// The Windows side of the tessaline command: its arguments and its console. (Its files go through
// Win32FileSystem, as the plug-in's do.) Windows headers stay in the .cpp file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tessaline {

// Converts the arguments that wmain receives (UTF-16) to the system's ANSI code page, the form in which
// the plug-in receives every name from its dialogs and in which Win32FileSystem opens files. False when an
// argument holds a character that the code page cannot represent: badArgument is then its index, and
// arguments holds the conversions with such characters shown as '?'.
bool AnsiArguments(int argc, const wchar_t* const* argv, std::vector<std::string>& arguments,
                   size_t& badArgument);

// Prepares the console, if the command has one, for the rest of the run: texts are written in the ANSI
// code page (the console's previous output code page comes back when the process exits). True when stderr
// is a console, on which the progress line is drawn; false when it is a file or a pipe.
bool PrepareConsole();

// The system's ANSI code page, for messages.
unsigned AnsiCodePage();

}  // namespace tessaline
