// JSON text: strings and numbers escaped and written as the station's JSON
// lines have them, and objects and arrays built member by member.
#pragma once

#include <string>

namespace station {

std::string JsonString(const std::string& s);
std::string JsonNumber(double v); // null for not-a-number and infinities

// An object, its members in the order they are added.
class JsonObject {
public:
    JsonObject& Raw(const char* key, const std::string& json); // a value already in JSON
    JsonObject& Str(const char* key, const std::string& value);
    JsonObject& Num(const char* key, double value);
    JsonObject& Int(const char* key, long long value);
    JsonObject& Bool(const char* key, bool value);
    JsonObject& Null(const char* key);
    std::string Text() const;

private:
    std::string m_text = "{";
};

// The object of one JSON line, its kind first under "type", as in every line
// the station writes.
JsonObject JsonLine(const char* type);

class JsonArray {
public:
    JsonArray& Add(const std::string& json);
    std::string Text() const;

private:
    std::string m_text = "[";
};

} // namespace station
