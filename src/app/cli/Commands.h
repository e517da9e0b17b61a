#pragma once

#include <QStringList>

namespace orvanta::cli {

// Each command takes its own arguments (without the command name), prints
// its results to standard output and returns the process's exit status.
int cleanTitle(const QStringList& arguments);
int catalog(const QStringList& arguments);
int probe(const QStringList& arguments);
int play(const QStringList& arguments);

}  // namespace orvanta::cli
