// What a writer that takes a FILE* writes, kept in memory.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

template <typename Write>
std::string WrittenToMemory(Write write) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    if (out == nullptr) throw std::bad_alloc();
    try {
        write(out);
    } catch (...) {
        fclose(out);
        std::free(buffer);
        throw;
    }
    fclose(out);
    std::string bytes(buffer, size);
    std::free(buffer);
    return bytes;
}
