// The entries of the main window's drop-down lists, per user-interface language, in list order:
// the one source of the resource scripts' lists and of the lists that decoding and check files
// index. Each list applies ENTRY to the UTF-8 text of each entry, the results separated by commas.
// Plain macros only: windres reads this file as well as the compiler.
#pragma once

// RFreq and WFreq. The fourth English clock really is spelled "15MHz".
#define TAVRIN_FREQ_EN(ENTRY) ENTRY("20MHZ"), ENTRY("30MHZ"), ENTRY("40MHZ"), ENTRY("15MHz")
#define TAVRIN_FREQ_ZH_CN(ENTRY) ENTRY("20MHZ"), ENTRY("26MHZ"), ENTRY("40MHZ")
#define TAVRIN_FREQ_ZH_TW(ENTRY) ENTRY("20MHZ"), ENTRY("30MHZ"), ENTRY("40MHZ")

// Idle and Sleep.
#define TAVRIN_ON_OFF_EN(ENTRY) ENTRY("ON"), ENTRY("OFF")
#define TAVRIN_ON_OFF_ZH_CN(ENTRY) ENTRY("常亮"), ENTRY("熄灭")
#define TAVRIN_ON_OFF_ZH_TW(ENTRY) ENTRY("常亮"), ENTRY("熄滅")

// Blink.
#define TAVRIN_BLINK_EN(ENTRY) ENTRY("Always"), ENTRY("Quick"), ENTRY("Slow")
#define TAVRIN_BLINK_ZH_CN(ENTRY) ENTRY("常亮"), ENTRY("快闪"), ENTRY("慢闪")
#define TAVRIN_BLINK_ZH_TW(ENTRY) ENTRY("常亮"), ENTRY("快閃"), ENTRY("慢閃")

// Efs, the same in every language: not used in decoding; the check maps a sector count onto its
// index.
#define TAVRIN_EFS(ENTRY)                                                                          \
    ENTRY("0MB"), ENTRY("8MB"), ENTRY("16MB"), ENTRY("24MB"), ENTRY("32MB"), ENTRY("40MB"),        \
        ENTRY("48MB"), ENTRY("56MB"), ENTRY("64MB"), ENTRY("80MB"), ENTRY("96MB"), ENTRY("112MB"), \
        ENTRY("128MB")
