// --transcript: one JSON object per line for every burst of bytes on the line, in either
// direction, so that a failed run can be read afterwards:
//   {"t":1.204,"dir":"in","baud":9600,"bytes":"get -ver\r","state":"firmware"}
// "t" is seconds since the simulator started; "bytes" are what went on the wire (each byte as
// the character of the same number); "heard" is added when the receiving side got something
// else (a wrong rate, a garbled or dropped byte).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class Transcript {
 public:
  Transcript() = default;
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  // Creates (truncates) the file. False with a reason when it cannot be created.
  bool Open(const std::string& path, std::string* error);
  bool IsOpen() const { return file_ != nullptr; }

  void Record(double seconds, const char* direction, uint32_t baud, std::string_view bytes,
              std::string_view heard, const std::string& state);

 private:
  std::FILE* file_ = nullptr;
};

// The bytes as a JSON-safe text: byte N becomes the character U+00N.
std::string BytesAsText(std::string_view bytes);
