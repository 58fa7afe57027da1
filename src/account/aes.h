#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct evp_cipher_ctx_st;

namespace velquist {

// Rijndael with 16-, 24- or 32-byte keys and blocks; with 16-byte blocks it is AES
// (FIPS-197). No error reporting: an operation whose preconditions fail returns without
// writing anything and without changing the object. Padding is the caller's business.
// AES blocks go through libcrypto, whose rounds do not leak the key through table
// look-ups; only the wider Rijndael blocks, which libcrypto lacks and nothing here
// seals with, are computed by this class itself. The chaining stays here, so the modes
// and the chain carried between calls are the same for every block size.
class AES {
  public:
    // A fixed underlying type, so any value a caller passes is a valid Mode.
    enum Mode : int { ECB = 0, CBC = 1, CFB = 2 };

    AES();
    virtual ~AES();

    // chain: at least blockSize bytes; the chaining value carried from block to block.
    void SetKey(const unsigned char* key, const unsigned char* chain, int keyLength, int blockSize);
    // n must be a non-zero multiple of the block size. Other modes behave as ECB. The
    // chain continues from one call to the next. in and out must not overlap.
    void Encrypt(const unsigned char* in, unsigned char* out, std::size_t n, Mode mode);
    void Decrypt(const unsigned char* in, unsigned char* out, std::size_t n, Mode mode);
    void EncryptBlock(const unsigned char* in, unsigned char* out);
    void DecryptBlock(const unsigned char* in, unsigned char* out);

    int Rounds() const { return rounds_; }

  private:
    struct ContextFree {
        void operator()(evp_cipher_ctx_st* context) const;
    };
    using Context = std::unique_ptr<evp_cipher_ctx_st, ContextFree>;

    bool SetLibraryKey(const unsigned char* key, int keyLength);
    bool Usable(std::size_t n) const;
    void XorBlock(unsigned char* target, const unsigned char* other) const;
    void EncryptBlockGeneral(const unsigned char* in, unsigned char* out);
    void DecryptBlockGeneral(const unsigned char* in, unsigned char* out);
    void ExpandKey(const unsigned char* key);

    bool key_ready_ = false;
    Context encrypt_context_;
    Context decrypt_context_;
    std::uint32_t enc_keys_[15][8] = {};
    std::uint32_t dec_keys_[15][8] = {};
    int key_length_ = 0;
    int block_size_ = 0;
    int rounds_ = 0;
    unsigned char initial_chain_[32] = {};
    unsigned char chain_[32] = {};
    std::uint32_t work_a_[8] = {};
    std::uint32_t work_b_[8] = {};
    std::uint32_t work_c_[8] = {};
};

} // namespace velquist
