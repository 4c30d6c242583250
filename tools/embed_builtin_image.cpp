// Build step: turns the built-in image's TI-Text file into a C++ source holding its image text and
// vector words (see loader/builtin_image.h). It converts with the loader's own TI-Text converter,
// so the embedded text is exactly what loading the file would give, and it fails - failing the
// build - when the text misses either check value.
//
// Usage: vexa_embed_image INPUT.txt OUTPUT.cpp LENGTH CHAR_SUM [SYMBOL NAME TYPE]
//
// Without SYMBOL the source defines the FieldPal's image (kBuiltinImageText and its neighbours);
// with it, one BuiltinImage record of that name holding the image NAME for catalogue TYPE, as
// the second product's image is carried.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "loader/ti_text.h"

namespace {

constexpr uint32_t kCharactersPerLine = 96;

bool ReadFile(const char* path, std::string* contents) {
  FILE* in = std::fopen(path, "rb");
  if (!in) return false;
  char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) contents->append(chunk, got);
  const bool ok = !std::ferror(in);
  std::fclose(in);
  return ok;
}

void WriteText(FILE* out, const char* text, uint32_t length) {
  // The image text holds only '@' and hex digits, so it needs no escaping.
  for (uint32_t done = 0; done < length; done += kCharactersPerLine) {
    const uint32_t count = length - done < kCharactersPerLine ? length - done : kCharactersPerLine;
    std::fprintf(out, "    \"%.*s\"\n", static_cast<int>(count), text + done);
  }
  std::fprintf(out, "    \"\";\n");
}

void WriteVectors(FILE* out, const uint32_t* vectors) {
  for (uint32_t i = 0; i < kVectorCount; ++i) {
    std::fprintf(out, "%s0x%04X,%s", i % 8 == 0 ? "    " : " ", vectors[i], i % 8 == 7 ? "\n" : "");
  }
}

// One BuiltinImage record named `symbol`, its text and vectors private to the source.
bool WriteRecordSource(const char* path, const char* input, const char* text, uint32_t length,
                       const uint32_t* vectors, uint64_t sum, const char* symbol, const char* name,
                       unsigned type) {
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  std::fprintf(out,
               "// Generated from %s by vexa_embed_image. Do not edit: change the TI-Text file.\n"
               "#include \"loader/builtin_image.h\"\n\n"
               "namespace {\n\n"
               "const uint32_t kVectors[kVectorCount] = {\n",
               input);
  WriteVectors(out, vectors);
  std::fprintf(out, "};\n\nconst char kText[] =\n");
  WriteText(out, text, length);
  std::fprintf(out,
               "\n}  // namespace\n\n"
               "const BuiltinImage %s = {kText, kVectors, %u, %lluULL, \"%s\", %u};\n",
               symbol, length, static_cast<unsigned long long>(sum), name, type);
  return std::fclose(out) == 0;
}

bool WriteSource(const char* path, const char* input, const char* text, uint32_t length,
                 const uint32_t* vectors, uint32_t expectedLength, uint64_t expectedSum) {
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  std::fprintf(out,
               "// Generated from %s by vexa_embed_image. Do not edit: change the TI-Text file.\n"
               "#include \"loader/builtin_image.h\"\n\n"
               "const uint32_t kBuiltinImageLength = %u;\n"
               "const uint64_t kBuiltinImageCharSum = %llu;\n\n"
               "const uint32_t kBuiltinImageVectors[kVectorCount] = {\n",
               input, expectedLength, static_cast<unsigned long long>(expectedSum));
  WriteVectors(out, vectors);
  std::fprintf(out, "};\n\nconst char kBuiltinImageText[] =\n");
  WriteText(out, text, length);
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 8) {
    std::fprintf(stderr, "usage: %s INPUT.txt OUTPUT.cpp LENGTH CHAR_SUM [SYMBOL NAME TYPE]\n",
                 argv[0]);
    return 2;
  }
  const char* input = argv[1];
  const char* output = argv[2];
  const uint32_t expectedLength = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
  const uint64_t expectedSum = std::strtoull(argv[4], nullptr, 10);

  std::string contents;
  if (!ReadFile(input, &contents)) {
    std::fprintf(stderr, "vexa_embed_image: cannot read %s\n", input);
    return 1;
  }
  char* text = nullptr;
  uint32_t length = 0;
  uint32_t vectors[kVectorCount];
  const int32_t result = ConvertTiText(contents.data(), contents.size(), &text, &length, vectors);
  if (result != 1) {
    std::fprintf(stderr, "vexa_embed_image: %s is not a valid TI-Text file [Error %d]\n", input,
                 result);
    return 1;
  }
  std::unique_ptr<char[]> owned(text);

  const uint64_t sum = ImageTextCharSum(text, length);
  if (length != expectedLength || sum != expectedSum) {
    std::fprintf(stderr,
                 "vexa_embed_image: %s gives %u characters of image text with character sum "
                 "%llu; the built-in image must have %u and %llu (loader/CMakeLists.txt)\n",
                 input, length, static_cast<unsigned long long>(sum), expectedLength,
                 static_cast<unsigned long long>(expectedSum));
    return 1;
  }
  const bool written =
      argc == 8 ? WriteRecordSource(output, input, text, length, vectors, sum, argv[5], argv[6],
                                    static_cast<unsigned>(std::strtoul(argv[7], nullptr, 10)))
                : WriteSource(output, input, text, length, vectors, expectedLength, expectedSum);
  if (!written) {
    std::fprintf(stderr, "vexa_embed_image: cannot write %s\n", output);
    std::remove(output);
    return 1;
  }
  return 0;
}
