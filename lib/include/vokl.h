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
#define VOKL_ELOG_CREATE (-31)       /* the log switch is set and the log cannot be created or written */
#define VOKL_ESTOPPED (-40)          /* extended interface: the progress callback asked to stop */
#define VOKL_EOPTIONS (-41)          /* extended interface: no options, or of an unknown size */

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

/* ------------------------------------------------------------------------
 * Extended interface: the same two conversions with UTF-8 on the PC side,
 * open descriptors as well as paths (pipes need no size), progress and
 * stopping, and log lines handed out in UTF-8. The four exports above are
 * unchanged.
 *
 *     vokl_options o;
 *     vokl_options_init(&o, sizeof o);
 *     o.pc_encoding = VOKL_PC_UTF8;
 *     o.input_path = "in.txt";
 *     o.output_fd = 1;
 *     o.log_line = print_line;
 *     rc = vokl_s2j(&o, 1, 1);
 */

#define VOKL_PC_SJIS 0   /* code page 932, as the four exports */
#define VOKL_PC_UTF8 1

#define VOKL_EOL_CRLF 0
#define VOKL_EOL_LF 1

/* Called with the bytes of input done so far and the input's size (-1 when
 * it is not known, as for a pipe): at least every 64 KiB read, at most about
 * 20 times a second, and once at the end. A nonzero return stops the job:
 * it returns VOKL_ESTOPPED and removes the output file it created. */
typedef int (VOKL_CALL *vokl_progress_fn)(void *user, int64_t done, int64_t total);
/* One log line in UTF-8, without its line end. */
typedef void (VOKL_CALL *vokl_log_fn)(void *user, const char *line);

typedef struct vokl_options {
    uint32_t size;               /* the caller's sizeof(vokl_options), set by vokl_options_init */
    int32_t pc_encoding;         /* VOKL_PC_SJIS or VOKL_PC_UTF8 */
    int32_t utf8_bom;            /* UTF-8 output: nonzero writes a byte order mark first */
    int32_t line_end;            /* j2s output: VOKL_EOL_CRLF or VOKL_EOL_LF */
    const char *input_path;      /* NULL: read input_fd */
    int32_t input_fd;
    const char *output_path;     /* NULL: write output_fd (never closed by the library) */
    int32_t output_fd;
    const char *input_name;      /* shown in the log for input_fd; NULL: "-" */
    const char *output_name;     /* shown in the log for output_fd; NULL: "-" */
    const char *log_path;        /* NULL: no log file; else a Shift-JIS log as the four exports write */
    vokl_log_fn log_line;        /* NULL: none */
    vokl_progress_fn progress;   /* NULL: none */
    void *user;                  /* passed to log_line and progress */
} vokl_options;

/* Fills the caller's struct of `size` bytes (sizeof(vokl_options) as the
 * caller's header has it; a later library never writes past it) with the
 * defaults: Shift-JIS, CR LF, no BOM, no paths, descriptors -1, no log and
 * no callbacks. */
VOKL_API void VOKL_CALL vokl_options_init(vokl_options *options, uint32_t size);

/* Text (Shift-JIS or UTF-8) -> JEF, as s2jconv; a leading UTF-8 byte order
 * mark is skipped. Returns as s2jconv, or VOKL_ESTOPPED. */
VOKL_API int32_t VOKL_CALL vokl_s2j(const vokl_options *options, int32_t codeOption, int32_t shiftCodes);

/* JEF -> text (Shift-JIS or UTF-8), as j2sconv. convLogPath NULL: the
 * conversion-error lines go to the log. Returns as j2sconv, or
 * VOKL_ESTOPPED. */
VOKL_API int32_t VOKL_CALL vokl_j2s(const vokl_options *options, int32_t codeOption, int32_t recordLength,
                                    int32_t keepShift, int32_t trimFlags, const char *patternPath,
                                    const char *convLogPath);

#ifdef __cplusplus
}
#endif

#endif /* VOKL_H */
