#pragma once

// Shared by the fuzz targets and by the replay driver that runs their corpora in the test suite.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken property is a crash for libFuzzer and a failure for the replay.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz {

// Debug messages of the loaders would dominate the run time.
inline void quiet()
{
    static bool installed = false;
    if (!installed) {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        installed = true;
    }
}

// One scratch folder for the whole process, on a memory file system when there is one.
inline QString scratch(const QString &name)
{
    static QTemporaryDir *dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        return QFile::exists(shm)
            ? new QTemporaryDir(shm + QStringLiteral("/pallaster-fuzz-XXXXXX"))
            : new QTemporaryDir();
    }();
    return dir->filePath(name);
}

inline QString writeScratch(const QString &name, const QByteArray &bytes)
{
    const QString path = scratch(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

} // namespace fuzz
