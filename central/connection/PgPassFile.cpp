#include "PgPassFile.h"

#include "PgConnection.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string Escaped(const std::string& field) {
    std::string out;
    for (char c : field) {
        if (c == ':' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

// The first four fields of a line as written (escapes kept), for matching.
std::string Key(const std::string& line) {
    int colons = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
            continue;
        }
        if (line[i] == ':' && ++colons == 4)
            return line.substr(0, i);
    }
    return {};
}

} // namespace

std::string PgPassPath() {
    if (const char* file = std::getenv("PGPASSFILE"); file && *file)
        return file;
#ifdef _WIN32
    const char* appData = std::getenv("APPDATA");
    return std::string(appData ? appData : ".") + "\\postgresql\\pgpass.conf";
#else
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.pgpass";
#endif
}

std::string PgPassLine(const std::string& conninfo, const std::string& password) {
    const auto options = PgConnOptions(conninfo);
    const auto field = [&](const char* key) {
        const auto it = options.find(key);
        if (it == options.end() || it->second.empty() || it->second.find(',') != std::string::npos)
            return std::string("*");
        return Escaped(it->second);
    };
    return field("host") + ":" + field("port") + ":" + field("dbname") + ":" + field("user") + ":" +
           Escaped(password);
}

std::string StorePgPassword(const std::string& conninfo, const std::string& password,
                            const std::string& path) {
    const std::string line = PgPassLine(conninfo, password);
    const std::string key = Key(line);
    std::string text;
    {
        std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
        std::string old;
        while (std::getline(in, old))
            if (Key(old) != key || key.empty())
                text += old + "\n";
    }
    text += line + "\n";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::u8path(path).parent_path(), ec);
    const std::string temp = path + ".new";
#ifndef _WIN32
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0)
        return "cannot write " + path + ": " + std::strerror(errno);
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
              ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temp.c_str());
        return "cannot write " + path + ": " + why;
    }
#else
    {
        std::ofstream out(std::filesystem::u8path(temp), std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out)
            return "cannot write " + path;
    }
    std::filesystem::rename(std::filesystem::u8path(temp), std::filesystem::u8path(path), ec);
    if (ec)
        return "cannot write " + path + ": " + ec.message();
#endif
    return {};
}
