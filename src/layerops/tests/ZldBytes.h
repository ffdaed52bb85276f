// Builds .zld bytes straight from the file layout, for tests that must not trust the writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zelvo::test {

struct ZldBytes {
    std::vector<uint8_t> b;

    ZldBytes& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    ZldBytes& I32(int32_t v) { return U32(uint32_t(v)); }
    ZldBytes& Raw(const void* p, size_t n) {
        const uint8_t* q = static_cast<const uint8_t*>(p);
        b.insert(b.end(), q, q + n);
        return *this;
    }
    ZldBytes& Text(const std::string& s, size_t padTo) {
        Raw(s.data(), s.size());
        b.resize(b.size() + (padTo - s.size()), 0);
        return *this;
    }
    size_t Size() const { return b.size(); }
    void Set32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
    uint32_t Get32(size_t at) const {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(b[at + size_t(i)]) << (8 * i);
        return v;
    }

    // The header: "zld0", total, canvas, resolution, count, version 1, reserved.
    ZldBytes& Header(uint32_t total, int32_t w, int32_t h, int32_t res, uint32_t n) {
        Raw("zld0", 4).U32(total).I32(w).I32(h).I32(res).U32(n).U32(1).U32(0);
        return *this;
    }
    ZldBytes& Entry(uint32_t kind, uint32_t w, uint32_t h, uint32_t offset, uint32_t length) {
        return U32(kind).U32(w).U32(h).U32(0).U32(offset).U32(length).U32(0);
    }
    // Puts the file's length into the header.
    void FixTotal() { Set32(4, uint32_t(b.size())); }

    void Save(const std::string& path) const {
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
    static std::vector<uint8_t> Load(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
};

}  // namespace zelvo::test
