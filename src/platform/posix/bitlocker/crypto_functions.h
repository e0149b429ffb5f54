// libcrypto's functions, as the BitLocker reader calls them: loaded with
// dlopen the first time a BitLocker volume needs a key, so that a run that
// meets none loads nothing.
#pragma once

// OpenSSL 3 marks SHA256_* deprecated; they stay exported, and are what is wanted here.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include "platform/posix/base/library_loading.h"

// SHA256_* is the fast path for the million rounds of key stretching: the
// EVP calls cost more than the digest itself at 88 bytes a round.
#define CRYPTO_FUNCTIONS(F) \
    F(cipher_new, EVP_CIPHER_CTX_new) \
    F(cipher_free, EVP_CIPHER_CTX_free) \
    F(cipher_ctrl, EVP_CIPHER_CTX_ctrl) \
    F(set_padding, EVP_CIPHER_CTX_set_padding) \
    F(decrypt_init, EVP_DecryptInit_ex) \
    F(decrypt_update, EVP_DecryptUpdate) \
    F(encrypt_init, EVP_EncryptInit_ex) \
    F(encrypt_update, EVP_EncryptUpdate) \
    F(aes_128_ecb, EVP_aes_128_ecb) \
    F(aes_256_ecb, EVP_aes_256_ecb) \
    F(aes_128_cbc, EVP_aes_128_cbc) \
    F(aes_256_cbc, EVP_aes_256_cbc) \
    F(aes_128_xts, EVP_aes_128_xts) \
    F(aes_256_xts, EVP_aes_256_xts) \
    F(aes_256_ccm, EVP_aes_256_ccm) \
    F(sha256_init, SHA256_Init) \
    F(sha256_update, SHA256_Update) \
    F(sha256_final, SHA256_Final) \
    F(cleanse, OPENSSL_cleanse)
struct CryptoFunctions {
    CRYPTO_FUNCTIONS(DECLARE_READER_FUNCTION)
};

// libcrypto, bound on first use; null with `fault` where it cannot be loaded.
const CryptoFunctions *CryptoLibrary(Fault &fault);
