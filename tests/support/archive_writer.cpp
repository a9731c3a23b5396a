#include "archive_writer.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace archive {

std::string record(const std::string& major, int majorLength, const std::string& minor, int minorLength,
                   std::uint32_t firstBlock, unsigned fileNumber) {
  std::string r(40, '\0');
  r[0] = static_cast<char>(minorLength);
  r.replace(1, minor.size() < 6 ? minor.size() : 6, minor.substr(0, 6));
  r[7] = static_cast<char>(majorLength);
  r.replace(8, major.size() < 8 ? major.size() : 8, major.substr(0, 8));
  for (int i = 0; i < 4; ++i) r[static_cast<size_t>(16 + i)] = static_cast<char>((firstBlock >> (8 * i)) & 0xFF);
  r[20] = static_cast<char>(fileNumber);
  return r;
}

std::string record(const std::string& major, const std::string& minor, std::uint32_t firstBlock,
                   unsigned fileNumber) {
  // Parts longer than their fields are cut, length bytes included; an
  // oversized length byte is only ever written on purpose, with the long form.
  int majorLength = major.size() < 8 ? static_cast<int>(major.size()) : 8;
  int minorLength = minor.size() < 6 ? static_cast<int>(minor.size()) : 6;
  return record(major, majorLength, minor, minorLength, firstBlock, fileNumber);
}

writer::writer(std::string directory, std::string indexName)
    : directory_(std::move(directory)), indexName_(std::move(indexName)) {}

int writer::add(const report& r) {
  reports_.push_back(r);
  return static_cast<int>(reports_.size()) - 1;
}

int writer::add(const std::string& major, const std::string& minor, unsigned fileNumber,
                const std::vector<std::string>& lines) {
  report r;
  r.major = major;
  r.minor = minor;
  r.fileNumber = fileNumber;
  r.lines = lines;
  return add(r);
}

std::string writer::dataFilePath(unsigned fileNumber) const {
  std::string base = indexName_;
  size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.erase(dot);
  std::string number = std::to_string(fileNumber);
  if (number.size() < 2) number = "0" + number;
  return directory_ + "/" + base + "." + number;
}

std::string writer::write() {
  makeDirectories(directory_);
  std::map<unsigned, std::string> data;        // bytes of each data file
  std::map<unsigned, std::vector<int>> placed;  // reports written into each, in order
  blocks_.assign(reports_.size(), 0);
  expected_.assign(reports_.size(), std::string());
  std::vector<std::string> text(reports_.size());

  for (size_t i = 0; i < reports_.size(); ++i) {
    const report& r = reports_[i];
    if (r.sameBlockAs >= 0) {
      blocks_[i] = blocks_[static_cast<size_t>(r.sameBlockAs)];
      continue;
    }
    if (r.block >= 0) {
      blocks_[i] = static_cast<std::uint32_t>(r.block);
      continue;
    }
    std::string& bytes = data[r.fileNumber];
    bytes.append(static_cast<size_t>(r.gapBlocks) * 64, '\0');
    blocks_[i] = static_cast<std::uint32_t>(bytes.size() / 64);
    bytes += encodeReport(r.lines, r.how);
    text[i] = decodedText(r.lines);
    placed[r.fileNumber].push_back(static_cast<int>(i));
    bytes.append((64 - bytes.size() % 64) % 64, '\0');
  }

  // A report runs to the next report of its data file; the zero bytes in
  // between decode as empty lines. A report of no bytes shares its block with
  // the report that follows it directly, and so reads as that one.
  for (auto& [number, order] : placed) {
    const std::string& bytes = data[number];
    for (size_t k = order.size(); k-- > 0;) {
      size_t i = static_cast<size_t>(order[k]);
      size_t begin = static_cast<size_t>(blocks_[i]) * 64;
      size_t next = k + 1 < order.size() ? static_cast<size_t>(order[k + 1]) : i;
      size_t end = next != i ? static_cast<size_t>(blocks_[next]) * 64 : bytes.size();
      size_t encoded = encodeReport(reports_[i].lines, reports_[i].how).size();
      expected_[i] = encoded == 0 && next != i && end == begin ? expected_[next]
                                                               : text[i] + std::string(end - begin - encoded, '\n');
    }
  }
  for (size_t i = 0; i < reports_.size(); ++i)
    if (reports_[i].sameBlockAs >= 0) expected_[i] = expected_[static_cast<size_t>(reports_[i].sameBlockAs)];

  std::string index;
  for (size_t i = 0; i < reports_.size(); ++i)
    index += record(reports_[i].major, reports_[i].minor, blocks_[i], reports_[i].fileNumber);
  index += tail_;
  std::string indexPath = directory_ + "/" + indexName_;
  writeFile(indexPath, index);
  for (auto& [number, bytes] : data)
    if (!omitted_.count(number)) writeFile(dataFilePath(number), bytes);
  return indexPath;
}

void makeDirectories(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at)
    if (at == path.size() || path[at] == '/') mkdir(path.substr(0, at).c_str(), 0755);
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

}  // namespace archive
