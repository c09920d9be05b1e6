#include "Tokens.h"

#include "platform/platform.h"

#include <cstring>

void vantor::SplitTokens(char* text, char** tokens, const char* delimiters, int* count,
                         size_t capacity) {
    int stored = 0;
    if (text != nullptr && tokens != nullptr && delimiters != nullptr) {
        auto isDelimiter = [delimiters](unsigned char c) {
            return c != '\0' && std::strchr(delimiters, c) != nullptr;
        };
        char* p = text;
        while (static_cast<size_t>(stored) < capacity) {
            while (*p != '\0' && isDelimiter(static_cast<unsigned char>(*p)))
                ++p;
            if (*p == '\0')
                break;
            char* token = p;
            // A double-byte character is never split, whatever its trail byte.
            while (*p != '\0' && !isDelimiter(static_cast<unsigned char>(*p))) {
                if (platform::IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0')
                    ++p;
                ++p;
            }
            bool more = *p != '\0';
            if (more)
                *p++ = '\0';
            if (*token == ';' || *token == '#')
                break;
            tokens[stored++] = token;
            if (!more)
                break;
        }
    }
    if (count != nullptr)
        *count = stored;
}
