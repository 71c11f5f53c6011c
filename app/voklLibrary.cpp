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

bool isBareName(const QString& nameOrPath) {
    return !nameOrPath.isEmpty() && QFileInfo(nameOrPath).fileName() == nameOrPath;
}

// A library opened by Qt is searched for with Qt's own search path, not the
// program's: the program's RPATH (../lib, its own folder) does not reach it.
// These are the same folders, tried when the ordinary search finds nothing.
QStringList programLibraryDirs() {
    if (QCoreApplication::instance() == nullptr) return {};
    const QString programDir = QCoreApplication::applicationDirPath();
    return {QDir(programDir).filePath(QStringLiteral("../lib")), programDir};
}

}  // namespace

VoklLibrary::VoklLibrary(const QString& nameOrPath) : nameOrPath_(nameOrPath) {}

QString VoklLibrary::loadedFile() const { return library_.isLoaded() ? library_.fileName() : QString(); }

void VoklLibrary::load() {
    if (library_.isLoaded()) return;
    library_.setFileName(nameOrPath_);
    if (library_.load()) return;
    // The first failure is the one the user can act on; later tries only
    // repeat it for other folders.
    const QString firstError = library_.errorString();
    if (isBareName(nameOrPath_)) {
        for (const QString& dir : programLibraryDirs()) {
            library_.setFileName(QDir(dir).filePath(nameOrPath_));
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
