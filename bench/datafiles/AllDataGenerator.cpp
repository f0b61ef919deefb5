#include "AllDataGenerator.h"

#include <cstdio>
#include <random>
#include <stdexcept>

namespace vexalo::bench {

namespace {

// A run of `chars` random JIS level-1 kanji in CP932 (lead 0x89-0x97, trail
// 0x40-0x7E or 0x80-0xFC), the bytes a parsed Japanese value is made of.
void AppendKanji(std::string& line, std::mt19937& random, int chars) {
  for (int i = 0; i < chars; ++i) {
    const auto trail = static_cast<int>(0x40 + random() % 188);
    line.push_back(static_cast<char>(0x89 + random() % 15));
    line.push_back(static_cast<char>(trail < 0x7F ? trail : trail + 1));
  }
}

}  // namespace

std::string GeneratedId(int64_t index) {
  char id[32];
  std::snprintf(id, sizeof id, "%08llx%08llx", static_cast<unsigned long long>(index * 2654435761u),
                static_cast<unsigned long long>(index));
  return id;
}

int64_t WriteAllDataFile(const std::string& path, int64_t lines) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot create " + path);
  std::mt19937 random(1);
  std::string line;
  int64_t size = 0;
  for (int64_t i = 0; i < lines; ++i) {
    line.assign("2024/05/").append(std::to_string(1 + i % 28)).append(" ");
    line.append(std::to_string(i % 24)).append(":").append(std::to_string(10 + i % 50));
    line.append(":").append(std::to_string(10 + i % 49)).append(",").append(GeneratedId(i));
    for (int item = 0; item < 10; ++item) {
      line.push_back(',');
      if (item % 3 == 2) {
        line += std::to_string(random() % 100000);
      } else {
        AppendKanji(line, random, 2 + static_cast<int>(random() % 5));
      }
    }
    line += "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) {
      std::fclose(file);
      throw std::runtime_error("cannot write " + path);
    }
    size += static_cast<int64_t>(line.size());
  }
  if (std::fclose(file) != 0) throw std::runtime_error("cannot write " + path);
  return size;
}

}  // namespace vexalo::bench
