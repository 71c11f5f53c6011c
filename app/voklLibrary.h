// The conversion library bound by name at run time. Nothing is loaded when the
// object is made: the library file is loaded at the first call of any export
// and each export is looked up at its own first call, so a missing library or
// export shows only when a run reaches that call.
#pragma once

#include "voklApi.h"

#include <QLibrary>
#include <QString>

class VoklLibrary : public vok::VoklApi {
public:
    // nameOrPath: a bare name ("vokl" finds libvokl.so.1 / vokl.dll) or a file path.
    // programDir: the folder a bare name is also looked for from (see load());
    // empty for the running program's own folder.
    explicit VoklLibrary(const QString& nameOrPath = QStringLiteral("vokl"), const QString& programDir = QString());
    VoklLibrary(const VoklLibrary&) = delete;
    VoklLibrary& operator=(const VoklLibrary&) = delete;

    float voklVersion() override;
    std::int32_t s2jconv(std::int32_t logSwitch, std::int32_t codeOption, std::int32_t shiftCodes,
                         const char* sjisPath, const char* jefPath, const char* logPath) override;
    std::int32_t j2sconv(std::int32_t logSwitch, std::int32_t codeOption, std::int32_t recordLength,
                         std::int32_t keepShift, std::int32_t trimFlags, const char* jefPath,
                         const char* sjisPath, const char* patternPath, const char* logPath,
                         const char* convLogPath) override;
    std::int32_t mkpatn(std::int32_t logSwitch, std::int32_t separator, std::int32_t quote,
                        const char* copybookPath, const char* patternPath, const char* logPath) override;
    std::optional<std::int32_t> vokl_s2j(const vok::JobHooks& hooks, std::int32_t codeOption, std::int32_t shiftCodes,
                                         const char* sjisPath, const char* jefPath, const char* logPath) override;
    std::optional<std::int32_t> vokl_j2s(const vok::JobHooks& hooks, std::int32_t codeOption,
                                         std::int32_t recordLength, std::int32_t keepShift, std::int32_t trimFlags,
                                         const char* jefPath, const char* sjisPath, const char* patternPath,
                                         const char* logPath, const char* convLogPath) override;

    // The file actually loaded; empty until the first call has loaded it.
    QString loadedFile() const;

private:
    void load();

    QFunctionPointer bound(QFunctionPointer& slot, const char* exportName);
    // An export the library may lack: nullptr then, and nothing is thrown.
    QFunctionPointer optional(QFunctionPointer& slot, const char* exportName);

    QString nameOrPath_;
    QString programDir_;
    QLibrary library_;
    // Filled at each export's first call; typed where they are called.
    QFunctionPointer voklVersion_ = nullptr;
    QFunctionPointer s2jconv_ = nullptr;
    QFunctionPointer j2sconv_ = nullptr;
    QFunctionPointer mkpatn_ = nullptr;
    QFunctionPointer optionsInit_ = nullptr;
    QFunctionPointer s2jExtended_ = nullptr;
    QFunctionPointer j2sExtended_ = nullptr;
};
