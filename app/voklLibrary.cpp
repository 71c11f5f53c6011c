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
using OptionsInitExport = void(VOKL_CALL*)(vokl_options*, uint32_t);
using S2jExtendedExport = std::int32_t(VOKL_CALL*)(const vokl_options*, std::int32_t, std::int32_t);
using J2sExtendedExport = std::int32_t(VOKL_CALL*)(const vokl_options*, std::int32_t, std::int32_t, std::int32_t,
                                                   std::int32_t, const char*, const char*);

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

// The callbacks hand over to the job's hooks; nothing may be thrown back
// into the library.
int VOKL_CALL reportProgress(void* user, std::int64_t done, std::int64_t total) {
    const auto* hooks = static_cast<const vok::JobHooks*>(user);
    try {
        return hooks->progress && hooks->progress(done, total) ? 1 : 0;
    } catch (...) {
        return 1;
    }
}

void VOKL_CALL passLogLine(void* user, const char* line) {
    const auto* hooks = static_cast<const vok::JobHooks*>(user);
    try {
        if (hooks->logLine) hooks->logLine(line);
    } catch (...) {
        // A line that cannot be kept is still in the log file.
    }
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

QFunctionPointer VoklLibrary::optional(QFunctionPointer& slot, const char* exportName) {
    load();
    if (slot == nullptr) slot = library_.resolve(exportName);
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

namespace {

// Options for one job: a Shift-JIS file on the PC side, as the classic
// exports take it, with the log file and both callbacks.
vokl_options jobOptions(OptionsInitExport init, const vok::JobHooks& hooks, const char* input, const char* output,
                        const char* logPath) {
    vokl_options options;
    init(&options, sizeof options);
    options.input_path = input;
    options.output_path = output;
    options.log_path = logPath;
    options.log_line = passLogLine;
    options.progress = reportProgress;
    options.user = const_cast<vok::JobHooks*>(&hooks);
    return options;
}

}  // namespace

std::optional<std::int32_t> VoklLibrary::vokl_s2j(const vok::JobHooks& hooks, std::int32_t codeOption,
                                                  std::int32_t shiftCodes, const char* sjisPath, const char* jefPath,
                                                  const char* logPath) {
    auto init = reinterpret_cast<OptionsInitExport>(optional(optionsInit_, "vokl_options_init"));
    auto convert = reinterpret_cast<S2jExtendedExport>(optional(s2jExtended_, "vokl_s2j"));
    if (init == nullptr || convert == nullptr) return std::nullopt;
    const vokl_options options = jobOptions(init, hooks, sjisPath, jefPath, logPath);
    return convert(&options, codeOption, shiftCodes);
}

std::optional<std::int32_t> VoklLibrary::vokl_j2s(const vok::JobHooks& hooks, std::int32_t codeOption,
                                                  std::int32_t recordLength, std::int32_t keepShift,
                                                  std::int32_t trimFlags, const char* jefPath, const char* sjisPath,
                                                  const char* patternPath, const char* logPath,
                                                  const char* convLogPath) {
    auto init = reinterpret_cast<OptionsInitExport>(optional(optionsInit_, "vokl_options_init"));
    auto convert = reinterpret_cast<J2sExtendedExport>(optional(j2sExtended_, "vokl_j2s"));
    if (init == nullptr || convert == nullptr) return std::nullopt;
    const vokl_options options = jobOptions(init, hooks, jefPath, sjisPath, logPath);
    return convert(&options, codeOption, recordLength, keepShift, trimFlags, patternPath, convLogPath);
}
