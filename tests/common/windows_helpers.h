// What the Windows test and benchmark programs share without GoogleTest: a
// file's bytes, and the committed memory that a leak makes grow.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The bytes of a file; none when it cannot be opened.
inline std::vector<unsigned char> ReadFileBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

// Committed memory outside mapped images, in bytes: what a leak makes grow
// (Wine reports no private usage).
inline SIZE_T CommittedBytes() {
    SIZE_T committed = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const BYTE* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
         at = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type != MEM_IMAGE) committed += info.RegionSize;
        if (static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize < at) break;
    }
    return committed;
}
