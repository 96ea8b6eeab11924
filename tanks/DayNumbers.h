#pragma once
// The station's times are day numbers: days since 30/12/1899 00:00, the time of day as the
// fraction (DATA's tstamp, the clock, the reports). The units they are counted in, once.

#include <cstdint>

// 01/01/1970 as a day number. A macro as well, so that SQL texts can name it (DAY_TEXT).
#define TAVRONA_UNIX_EPOCH_DAY 25569
#define TAVRONA_SECONDS_PER_DAY 86400
#define TAVRONA_DAY_TEXT_(x) #x
#define TAVRONA_DAY_TEXT(x) TAVRONA_DAY_TEXT_(x)

inline constexpr int64_t kUnixEpochDay = TAVRONA_UNIX_EPOCH_DAY;
inline constexpr int kSecondsPerDay = TAVRONA_SECONDS_PER_DAY;
inline constexpr int kMinutesPerDay = 24 * 60;
inline constexpr int64_t kMsPerDay = int64_t{kSecondsPerDay} * 1000;
