#pragma once
// What the benchmarks read of the Linux host under Wine: Wine reports no CPU time or memory
// for other processes, but the host's /proc is drive Z:.
#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace hostproc {

// Up to 64 KB of a small file; empty when it cannot be read.
inline std::string ReadSmallFile(const std::string& path) {
    std::string out;
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return out;
    }
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0 && out.size() < 65536) {
        out.append(buf, got);
    }
    ::CloseHandle(h);
    return out;
}

inline std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Wine reports no CPU time for other processes; the host's /proc (drive Z:) has it: utime and
// stime (clock ticks of 10 ms) of the process whose command line names the program.
inline double UnixCpuMs(const std::string& program) {
    WIN32_FIND_DATAA fd{};
    HANDLE h = ::FindFirstFileA("Z:\\proc\\*", &fd);
    if (h == INVALID_HANDLE_VALUE) {
        return -1.0;
    }
    const std::string wanted = Lower(program);
    double result = -1.0;
    do {
        if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9') {
            continue;
        }
        const std::string dir = std::string("Z:\\proc\\") + fd.cFileName;
        if (Lower(ReadSmallFile(dir + "\\cmdline")).find(wanted) == std::string::npos) {
            continue;
        }
        const std::string stat = ReadSmallFile(dir + "\\stat");
        const size_t close = stat.rfind(')');  // the name may hold blanks; the fields follow it
        if (close == std::string::npos) {
            continue;
        }
        // After ")": state is field 3; utime and stime are fields 14 and 15.
        std::vector<std::string> fields;
        size_t at = close + 2;
        while (at < stat.size() && fields.size() < 13) {
            const size_t end = stat.find(' ', at);
            fields.push_back(stat.substr(at, end - at));
            at = end == std::string::npos ? stat.size() : end + 1;
        }
        if (fields.size() == 13) {
            result = (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) * 10.0;
        }
        break;
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    return result;
}

}  // namespace hostproc
