#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace ww::cli {

// The commands, each a function of its arguments (the program's name first, the command's
// word left out) that answers the exit status.
int send(const QStringList& args);
int capture(const QStringList& args);
int verify(const QStringList& args);
int ports(const QStringList& args);
int convert(const QStringList& args);
int expr(const QStringList& args);
int spectrum(const QStringList& args);
int compare(const QStringList& args);

// One line of the table the command line dispatches on.
struct CommandEntry {
    QString name;
    QString summary; // for the program's own help
    int (*run)(const QStringList& args);
};
// Every command, in the order help lists them.
const QList<CommandEntry>& commandTable();

} // namespace ww::cli
