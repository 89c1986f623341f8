// MD5 (RFC 1321), for the manifest a cruise folder carries: the checksum
// OpenVDM and `md5sum -c` use, not a guard against anyone.
#pragma once

#include <cstdint>
#include <string>

class Md5 {
public:
    Md5();
    void Add(const char* bytes, size_t count);
    // The digest in lower-case hex; the sum is done with after it.
    std::string Hex();

private:
    void Block(const uint8_t* block);

    uint32_t state_[4];
    uint64_t length_ = 0;  // bytes added
    uint8_t pending_[64];
    size_t pendingBytes_ = 0;
};
