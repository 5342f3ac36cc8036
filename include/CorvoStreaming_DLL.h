/* CorvoStreaming_DLL: the exported functions of the market-data client library.
 *
 * ea_ functions take zero-terminated UTF-16 texts and write UTF-16 results into buffers the
 * caller supplies: no length is passed, no terminating zero is written, so hand in a
 * zero-filled buffer of at least 8388609 units for the query exports. cs_ functions take
 * narrow texts and assign their results to a std::string the caller owns.
 * Every function may be called from any thread; none throws. */
#ifndef CORVOSTREAMING_DLL_H
#define CORVOSTREAMING_DLL_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
#include <string>
#define CORVO_EXTERN_C extern "C"
#else
#define CORVO_EXTERN_C
#endif

#if defined(_WIN32)
#if defined(CORVO_BUILDING_LIBRARY)
#define CORVO_API CORVO_EXTERN_C __declspec(dllexport)
#else
#define CORVO_API CORVO_EXTERN_C __declspec(dllimport)
#endif
typedef wchar_t corvo_char16;
#else
#define CORVO_API CORVO_EXTERN_C __attribute__((visibility("default")))
#ifdef __cplusplus
typedef char16_t corvo_char16;
#else
typedef uint16_t corvo_char16;
#endif
#endif

#ifdef __cplusplus
typedef std::string corvo_string;
#else
typedef struct corvo_string corvo_string; /* a C++ std::string: cs_ hosts are C++ */
#endif

/* Session start and stop. */
CORVO_API bool ea_Initial(const corvo_char16* key, int32_t login, const corvo_char16* zmqServer,
                          const corvo_char16* apiServer);
CORVO_API bool cs_Initial(const char* key, int32_t login, const char* zmqServer,
                          const char* apiServer);
CORVO_API bool ea_Deinitial(void);
CORVO_API bool cs_Deinitial(void);

/* Streaming. */
CORVO_API bool ea_Subscribe(const corvo_char16* symbols, corvo_char16* out);
CORVO_API bool ea_Unsubscribe(const corvo_char16* symbol);
CORVO_API bool ea_Refresh(corvo_char16* out);
CORVO_API bool ea_Refresh_Symbol(const corvo_char16* symbol, corvo_char16* out);
CORVO_API bool ea_getTop20(corvo_char16* out);
CORVO_API bool cs_Subscribe(const char* symbols, corvo_string* out);
CORVO_API bool cs_Unsubscribe(const char* symbol);
CORVO_API bool cs_Refresh(corvo_string* out);
CORVO_API bool cs_getTop20(corvo_string* out);

/* Queries. */
CORVO_API bool ea_Fundamental(const corvo_char16* symbol, corvo_char16* out);
CORVO_API bool ea_FundamentalAllLastYear(corvo_char16* out);
CORVO_API bool ea_IAA(const corvo_char16* symbol, corvo_char16* out);
CORVO_API bool ea_IAAAllSymbols(corvo_char16* out);
CORVO_API bool ea_KeyMarketStatisticsPerformance(corvo_char16* out);
CORVO_API bool ea_Volume(const corvo_char16* symbol, corvo_char16* out);
CORVO_API bool ea_Feedback(int32_t account, int32_t second, int32_t third, int32_t fourth,
                           const corvo_char16* message);
CORVO_API bool cs_Fundamental(const char* symbol, corvo_string* out);
CORVO_API bool cs_FundamentalAllLastYear(corvo_string* out);

/* Per-instrument files below the Files directory beside the library's Libraries directory. */
CORVO_API bool ea_FundamentalAllLastYearFile(void);
CORVO_API bool ea_IAAAllSymbolsFile(void);
CORVO_API bool ea_VolumeAllSymbolsFile(void);

/* Diagnostics. ea_CalculateSpeed and ea_Test are the same functions under a second name. */
CORVO_API uint32_t cs_CalculateSpeed(uint32_t* sumInt, double* sumReal);
CORVO_API uint32_t ea_CalculateSpeed(uint32_t* sumInt, double* sumReal);
CORVO_API int32_t cs_Test(void);
CORVO_API int32_t ea_Test(void);
CORVO_API void ea_CrashTest(int32_t* target);

#endif /* CORVOSTREAMING_DLL_H */
