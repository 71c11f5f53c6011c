/* vokl: Shift-JIS <-> JEF/EBCDIC file conversion and COBOL copybook to
 * record pattern generation, behind a plain C interface.
 *
 * Every path is a NUL-terminated 8-bit string in the file system's own
 * encoding; every other argument is a 32-bit signed integer. Each conversion
 * export runs one whole file-to-file job and returns a result code: a value
 * of 0 or more is a success, a negative value one of the VOKL_E* codes below.
 * When the log switch is nonzero, Japanese diagnostics (Shift-JIS, CR LF
 * lines) are written to the log path. No export keeps state between calls.
 */
#ifndef VOKL_H
#define VOKL_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#  define VOKL_CALL __stdcall
#else
#  define VOKL_CALL
#endif

#if defined(_WIN32)
#  if defined(VOKL_BUILDING)
#    define VOKL_API __declspec(dllexport)
#  else
#    define VOKL_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define VOKL_API __attribute__((visibility("default")))
#else
#  define VOKL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. Success values (>= 0) count lines, records or bytes. */
#define VOKL_OK 0
#define VOKL_ECHARS_REPLACED (-1)    /* whole file converted, some characters replaced */
#define VOKL_EPATTERN_SYNTAX (-2)    /* the record pattern file is malformed */
#define VOKL_ECOPYBOOK_SYNTAX (-3)   /* the copybook cannot be analysed */
#define VOKL_EUNSUPPORTED_ITEM (-4)  /* pattern written, but the copybook holds a binary item */
#define VOKL_ESJIS_OPEN (-10)        /* the Shift-JIS file cannot be opened or examined */
#define VOKL_EJEF_OPEN (-11)         /* the JEF file cannot be opened or examined */
#define VOKL_EPATTERN_OPEN (-12)     /* the record pattern file cannot be opened */
#define VOKL_ECOPYBOOK_OPEN (-13)    /* the copybook does not exist or cannot be opened */
#define VOKL_ESJIS_EMPTY (-15)       /* the Shift-JIS input is empty */
#define VOKL_EJEF_EMPTY (-16)        /* the JEF input is empty */
#define VOKL_EPATTERN_EMPTY (-17)    /* the pattern file is empty or holds no pattern line */
#define VOKL_ECOPYBOOK_EMPTY (-18)   /* the copybook is empty */
#define VOKL_ESJIS_READ (-20)        /* repositioning in or reading the Shift-JIS input failed */
#define VOKL_EJEF_READ (-21)         /* repositioning in or reading the JEF input failed */
#define VOKL_EPATTERN_READ (-22)     /* reading the pattern file failed */
#define VOKL_ESJIS_WRITE (-25)       /* writing the Shift-JIS output failed */
#define VOKL_EJEF_WRITE (-26)        /* writing the JEF output failed */
#define VOKL_EPATTERN_WRITE (-27)    /* writing the pattern file failed */
#define VOKL_ENOMEM (-30)            /* memory exhausted */
#define VOKL_ELOG_CREATE (-31)       /* the log switch is set and the log cannot be created */

/* Shift-JIS text file -> JEF host file.
 * codeOption: 1 kana, 2 kana with a-z folded to upper case, 3 lower-case,
 * 4 (and anything else) ASCII, 9 single bytes copied unchanged.
 * shiftCodes: exactly 1 frames double-byte runs with 0x28 ... 0x29.
 * Returns the number of line feeds, -1 or a failure code. */
VOKL_API int32_t VOKL_CALL s2jconv(int32_t logSwitch, int32_t codeOption,
                                   int32_t shiftCodes, const char *sjisPath,
                                   const char *jefPath, const char *logPath);

/* JEF host file -> Shift-JIS text file, as a stream or record by record.
 * codeOption: 1 kana, 2 lower-case, 3 (and anything else) ASCII.
 * recordLength: stream block length (nonzero also appends CR LF after each
 * block or record); keepShift: exactly 1 keeps 0x28/0x38/0x29 as data in
 * pattern mode; trimFlags: 1 trim, 2 left, 4 right, 8 kanji items only.
 * patternPath starting with "_********_" selects stream mode.
 * Returns the number of line ends written, -1 or a failure code. */
VOKL_API int32_t VOKL_CALL j2sconv(int32_t logSwitch, int32_t codeOption,
                                   int32_t recordLength, int32_t keepShift,
                                   int32_t trimFlags, const char *jefPath,
                                   const char *sjisPath, const char *patternPath,
                                   const char *logPath, const char *convLogPath);

/* COBOL copybook -> record pattern file.
 * separator: 1 comma, 2 blank, anything else none; quote: exactly 1 quotes
 * character fields. Returns the record size in bytes or a failure code. */
VOKL_API int32_t VOKL_CALL mkpatn(int32_t logSwitch, int32_t separator,
                                  int32_t quote, const char *copybookPath,
                                  const char *patternPath, const char *logPath);

/* The library version times 100 (110.0 for 1.10). */
VOKL_API float VOKL_CALL voklVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* VOKL_H */
