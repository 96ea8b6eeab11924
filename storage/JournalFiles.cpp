#include "JournalFiles.h"

#ifdef _WIN32

// Windows keeps no mode bits that SQLite copies: nothing to mend.
void MatchJournalFilesToDatabase(const std::string&) {}

#else

#include <sys/stat.h>
#include <unistd.h>

void MatchJournalFilesToDatabase(const std::string& dbFile) {
    struct stat db {};
    if (stat(dbFile.c_str(), &db) != 0 || access(dbFile.c_str(), W_OK) != 0)
        return;
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string file = dbFile + suffix;
        struct stat st {};
        if (stat(file.c_str(), &st) == 0 && access(file.c_str(), W_OK) != 0 &&
            (st.st_uid == geteuid() || geteuid() == 0))
            chmod(file.c_str(), db.st_mode & 0666);
    }
}

#endif
