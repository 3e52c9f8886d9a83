#pragma once
// Where the command line's access password comes from. An argument
// (--password) is readable by every user of the machine in the process list;
// a file (--password-file) or the environment variable KELVAR517_PASSWORD is
// not. A write given none of them asks on the terminal.

#include <QString>

#include <optional>

namespace kelvar::cli {

inline constexpr char PasswordVariable[] = "KELVAR517_PASSWORD";

// The first line of the file without its line end; none, and the reason in
// *error, when the file cannot be read.
std::optional<QString> readPasswordFile(const QString &path, QString *error);

// True when users other than the file's owner may read it.
bool readableByOthers(const QString &path);

// Asks on the terminal with the typed characters hidden; none when standard
// input is not a terminal.
std::optional<QString> askOnTerminal(const QString &prompt);

} // namespace kelvar::cli
