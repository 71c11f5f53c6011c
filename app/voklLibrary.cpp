#include "voklLibrary.h"

#include "vokl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

// The exports as the library defines them, calling convention included.
using VersionExport = float(VOKL_CALL*)();
using S2jExport = std::int32_t(VOKL_CALL*)(std::int32_t, std::int32_t, std::int32_t, const char*, const char*,
                                           const char*);
using J2sExport = std::int32_t(VOKL_CALL*)(std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                           std::int32_t, const char*, const char*, const char*, const char*,
                                           const char*);
using MkpatnExport = std::int32_t(VOKL_CALL*)(std::int32_t, std::int32_t, std::int32_t, const char*,
                                              const char*, const char*);

#ifndef VOK_BIN_TO_LIBDIR
#define VOK_BIN_TO_LIBDIR "../lib"
#endif
#ifndef VOKL_SOVERSION
#define VOKL_SOVERSION 1
#endif

// The library's ABI version: an installed run-time package has only
// libvokl.so.1; the unversioned libvokl.so comes with the development files.
constexpr int kAbiVersion = VOKL_SOVERSION;

bool isBareName(const QString& nameOrPath) {
    return !nameOrPath.isEmpty() && QFileInfo(nameOrPath).fileName() == nameOrPath;
}

// A library opened by Qt is searched for with Qt's own search path, not the
// program's: the program's RPATH does not reach it. These are the folders
// the RPATH would name, tried when the ordinary search finds nothing: the
// library folder of an installed tree, ../lib of the build tree and the
// program's own folder.
QStringList programLibraryDirs(const QString& programDir) {
    QString dir = programDir;
    if (dir.isEmpty()) {
        if (QCoreApplication::instance() == nullptr) return {};
        dir = QCoreApplication::applicationDirPath();
    }
    const QDir program(dir);
    QStringList dirs{program.filePath(QStringLiteral(VOK_BIN_TO_LIBDIR))};
    for (const QString& other : {program.filePath(QStringLiteral("../lib")), dir})
        if (!dirs.contains(other)) dirs << other;
    return dirs;
}

}  // namespace

VoklLibrary::VoklLibrary(const QString& nameOrPath, const QString& programDir)
    : nameOrPath_(nameOrPath), programDir_(programDir) {}

QString VoklLibrary::loadedFile() const { return library_.isLoaded() ? library_.fileName() : QString(); }

void VoklLibrary::load() {
    if (library_.isLoaded()) return;
    const bool bare = isBareName(nameOrPath_);
    if (bare)
        library_.setFileNameAndVersion(nameOrPath_, kAbiVersion);
    else
        library_.setFileName(nameOrPath_);
    if (library_.load()) return;
    // The first failure is the one the user can act on; later tries only
    // repeat it for other folders.
    const QString firstError = library_.errorString();
    if (bare) {
        for (const QString& dir : programLibraryDirs(programDir_)) {
            library_.setFileNameAndVersion(QDir(dir).filePath(nameOrPath_), kAbiVersion);
            if (library_.load()) return;
        }
    }
    throw vok::LibraryLoadError(firstError.toStdString());
}

QFunctionPointer VoklLibrary::bound(QFunctionPointer& slot, const char* exportName) {
    if (slot != nullptr) return slot;
    load();
    slot = library_.resolve(exportName);
    if (slot == nullptr) throw vok::MissingExport(library_.errorString().toStdString());
    return slot;
}

float VoklLibrary::voklVersion() {
    return reinterpret_cast<VersionExport>(bound(voklVersion_, "voklVersion"))();
}

std::int32_t VoklLibrary::s2jconv(std::int32_t logSwitch, std::int32_t codeOption, std::int32_t shiftCodes,
                                  const char* sjisPath, const char* jefPath, const char* logPath) {
    return reinterpret_cast<S2jExport>(bound(s2jconv_, "s2jconv"))(logSwitch, codeOption, shiftCodes, sjisPath,
                                                                      jefPath, logPath);
}

std::int32_t VoklLibrary::j2sconv(std::int32_t logSwitch, std::int32_t codeOption, std::int32_t recordLength,
                                  std::int32_t keepShift, std::int32_t trimFlags, const char* jefPath,
                                  const char* sjisPath, const char* patternPath, const char* logPath,
                                  const char* convLogPath) {
    return reinterpret_cast<J2sExport>(bound(j2sconv_, "j2sconv"))(
        logSwitch, codeOption, recordLength, keepShift, trimFlags, jefPath, sjisPath, patternPath, logPath,
        convLogPath);
}

std::int32_t VoklLibrary::mkpatn(std::int32_t logSwitch, std::int32_t separator, std::int32_t quote,
                                 const char* copybookPath, const char* patternPath, const char* logPath) {
    return reinterpret_cast<MkpatnExport>(bound(mkpatn_, "mkpatn"))(logSwitch, separator, quote, copybookPath,
                                                                     patternPath, logPath);
}
