// Loads the library at run time with dlopen and looks up, by name, every export the host calls.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "CorvoStreaming_DLL.h"
#include "corvo.h"

namespace corvo::host {

// The exports the host calls (all but ea_CrashTest and corvo_version), one X(name) each.
// clang-format off
#define CORVO_HOST_EXPORTS(X) \
    X(ea_Initial) \
    X(cs_Initial) \
    X(ea_Deinitial) \
    X(cs_Deinitial) \
    X(ea_Subscribe) \
    X(ea_Unsubscribe) \
    X(ea_Refresh) \
    X(ea_Refresh_Symbol) \
    X(ea_getTop20) \
    X(cs_Subscribe) \
    X(cs_Unsubscribe) \
    X(cs_Refresh) \
    X(cs_getTop20) \
    X(ea_Fundamental) \
    X(ea_FundamentalAllLastYear) \
    X(ea_IAA) \
    X(ea_IAAAllSymbols) \
    X(ea_KeyMarketStatisticsPerformance) \
    X(ea_Volume) \
    X(ea_Feedback) \
    X(cs_Fundamental) \
    X(cs_FundamentalAllLastYear) \
    X(ea_FundamentalAllLastYearFile) \
    X(ea_IAAAllSymbolsFile) \
    X(ea_VolumeAllSymbolsFile) \
    X(cs_CalculateSpeed) \
    X(ea_CalculateSpeed) \
    X(cs_Test) \
    X(ea_Test) \
    X(corvo_last_error) \
    X(corvo_result_name) \
    X(corvo_free) \
    X(corvo_start) \
    X(corvo_stop) \
    X(corvo_end) \
    X(corvo_subscribe) \
    X(corvo_unsubscribe) \
    X(corvo_refresh) \
    X(corvo_wait) \
    X(corvo_symbol_record) \
    X(corvo_top20) \
    X(corvo_query) \
    X(corvo_feedback) \
    X(corvo_export_files) \
    X(corvo_status) \
    X(corvo_calculate_speed) \
    X(corvo_test)
// clang-format on

struct Exports {
#define CORVO_HOST_EXPORT_MEMBER(name) decltype(&::name) name = nullptr;
    CORVO_HOST_EXPORTS(CORVO_HOST_EXPORT_MEMBER)
#undef CORVO_HOST_EXPORT_MEMBER
};

class Library {
  public:
    // Throws HostError when the file is missing, fails to load or lacks an export.
    static Library open(const std::string& path);

    const Exports& exports() const { return exports_; }
    // The path handed to dlopen; the library derives its Files directory from it.
    const std::filesystem::path& path() const { return path_; }

  private:
    struct Closer {
        void operator()(void* handle) const;
    };

    std::unique_ptr<void, Closer> handle_;
    std::filesystem::path path_;
    Exports exports_;
};

}  // namespace corvo::host
