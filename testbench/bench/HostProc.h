#pragma once
// What the benchmarks read of the Linux host under Wine: Wine reports no CPU time or memory
// for other processes, but the host's /proc is drive Z:.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace hostproc {

inline double FileTimeMs(const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
}

// A small file (they read as empty under /proc until read to the end); empty when unreadable.
inline std::string ReadSmallFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Lower case, with the NULs between a command line's arguments as blanks.
inline std::string Lower(std::string text) {
    for (char& c : text) {
        c = c == '\0' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The /proc folder of the first process whose command line names `program` (at its start when
// `atStart`: the probe's own command line names the program too); empty when none does.
inline std::string ProcFolder(const std::string& program, bool atStart) {
    WIN32_FIND_DATAA fd{};
    HANDLE h = ::FindFirstFileA("Z:\\proc\\*", &fd);
    if (h == INVALID_HANDLE_VALUE) {
        return {};
    }
    const std::string wanted = Lower(program);
    std::string result;
    do {
        if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9') {
            continue;
        }
        const std::string dir = std::string("Z:\\proc\\") + fd.cFileName;
        const size_t at = Lower(ReadSmallFile(dir + "\\cmdline")).find(wanted);
        if (atStart ? at == 0 : at != std::string::npos) {
            result = dir;
            break;
        }
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    return result;
}

// utime and stime (clock ticks of 10 ms) of the process whose command line names the program.
inline double UnixCpuMs(const std::string& program) {
    const std::string dir = ProcFolder(program, false);
    const std::string stat = dir.empty() ? std::string() : ReadSmallFile(dir + "\\stat");
    const size_t close = stat.rfind(')');  // the name may hold blanks; the fields follow it
    if (close == std::string::npos) {
        return -1.0;
    }
    // After ")": state is field 3; utime and stime are fields 14 and 15.
    double utime = 0, stime = 0;
    return std::sscanf(stat.c_str() + close + 1, "%*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %lf %lf", &utime,
                       &stime) == 2
               ? (utime + stime) * 10.0
               : -1.0;
}

// The resident anonymous memory of the process whose command line starts with the program.
inline double UnixPrivateKb(const std::string& program) {
    const std::string dir = ProcFolder(program, true);
    const std::string status = dir.empty() ? std::string() : ReadSmallFile(dir + "\\status");
    const size_t at = status.find("RssAnon:");
    return at == std::string::npos ? -1.0 : std::atof(status.c_str() + at + 8);
}

}  // namespace hostproc
