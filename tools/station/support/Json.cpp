#include "support/Json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace station {

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string JsonNumber(double v) {
    if (!std::isfinite(v))
        return "null";
    char buf[40];
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v)
            break;
    }
    return buf;
}

JsonObject& JsonObject::Raw(const char* key, const std::string& json) {
    m_text += m_text.size() > 1 ? ",\"" : "\"";
    m_text += key;
    m_text += "\":";
    m_text += json;
    return *this;
}

JsonObject& JsonObject::Str(const char* key, const std::string& value) {
    return Raw(key, JsonString(value));
}

JsonObject& JsonObject::Num(const char* key, double value) {
    return Raw(key, JsonNumber(value));
}

JsonObject& JsonObject::Int(const char* key, long long value) {
    return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Bool(const char* key, bool value) {
    return Raw(key, value ? "true" : "false");
}

JsonObject& JsonObject::Null(const char* key) {
    return Raw(key, "null");
}

std::string JsonObject::Text() const {
    return m_text + "}";
}

JsonArray& JsonArray::Add(const std::string& json) {
    m_text += m_text.size() > 1 ? "," : "";
    m_text += json;
    return *this;
}

std::string JsonArray::Text() const {
    return m_text + "]";
}

JsonObject JsonLine(const char* type) {
    return JsonObject().Str("type", type);
}

} // namespace station
