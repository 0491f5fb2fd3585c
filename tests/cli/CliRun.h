// kordex-cli run as a process by the command-line tests.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace kordex::testing {

// What a run of kordex-cli gave: its exit status (-1: it did not end, or
// crashed) and what it wrote.
struct CliRun {
    int code = -1;
    QString out, err;
    QByteArray bytes;  // standard output as written
};

inline CliRun Cli(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KORDEX_CLI_PATH), args);
    CliRun r;
    if (!p.waitForFinished(120000)) return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.bytes = p.readAllStandardOutput();
    r.out = QString::fromUtf8(r.bytes);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace kordex::testing
