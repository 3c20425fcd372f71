#include "gen/spool.h"

#include <atomic>
#include <random>
#include <stdexcept>
#include <system_error>

namespace veriprog::gen {
namespace {

constexpr std::size_t kChunk = 1 << 20;

// A name no other spool of any process is using: the process's random draw and a counter.
std::filesystem::path FreshPath() {
  static const std::uint64_t run = std::random_device{}() * 0x100000001ull ^ std::random_device{}();
  static std::atomic<std::uint64_t> count{0};
  char name[64];
  std::snprintf(name, sizeof name, "veriprog-gen-%016llx-%llu.tmp",
                static_cast<unsigned long long>(run), static_cast<unsigned long long>(++count));
  return std::filesystem::temp_directory_path() / name;
}

}  // namespace

Spool::Spool() = default;

Spool::~Spool() {
  file_.reset();
  if (!path_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
}

void Spool::Write(std::string_view bytes) {
  if (reading_) throw std::logic_error("generator: a spool written after it was read");
  buffer_.append(bytes);
  if (buffer_.size() >= kChunk) Spill();
}

void Spool::Spill() {
  if (!file_) {
    path_ = FreshPath();
    file_.reset(std::fopen(path_.string().c_str(), "w+b"));
    if (!file_) {
      const std::string where = path_.string();
      path_.clear();
      throw std::runtime_error("generator: cannot make the temporary file " + where);
    }
    // Where the system allows it the open file loses its name at once, and nothing is left
    // behind whatever becomes of the process; elsewhere it goes with the spool.
    std::error_code failed;
    if (std::filesystem::remove(path_, failed)) path_.clear();
  }
  if (!buffer_.empty() &&
      std::fwrite(buffer_.data(), 1, buffer_.size(), file_.get()) != buffer_.size()) {
    throw std::runtime_error("generator: cannot write the temporary file of the waiting rows");
  }
  buffer_.clear();
}

void Spool::Rewind() {
  if (reading_) throw std::logic_error("generator: a spool read twice");
  reading_ = true;
  pos_ = 0;
  if (!file_) return;  // all of it in memory
  Spill();
  if (std::fflush(file_.get()) != 0 || std::fseek(file_.get(), 0, SEEK_SET) != 0)
    throw std::runtime_error("generator: cannot read the temporary file of the waiting rows");
}

bool Spool::Refill() {
  if (!file_) return false;
  buffer_.resize(kChunk);
  const std::size_t got = std::fread(buffer_.data(), 1, kChunk, file_.get());
  buffer_.resize(got);
  pos_ = 0;
  if (got == 0 && std::ferror(file_.get()))
    throw std::runtime_error("generator: cannot read the temporary file of the waiting rows");
  return got > 0;
}

void Spool::Read(char* out, std::size_t size) {
  while (size > 0) {
    if (pos_ == buffer_.size() && !Refill())
      throw std::runtime_error("generator: the temporary file of the waiting rows ends early");
    const std::size_t take = std::min(size, buffer_.size() - pos_);
    buffer_.copy(out, take, pos_);
    pos_ += take;
    out += take;
    size -= take;
  }
}

void RowSpool::Add(std::span<const Opt> values) {
  auto number = [this](std::size_t n) {
    while (n >= 0x80) {
      packed_.push_back(static_cast<char>(0x80 | (n & 0x7f)));
      n >>= 7;
    }
    packed_.push_back(static_cast<char>(n));
  };
  packed_.clear();
  number(values.size());
  for (const Opt& v : values) {
    number(v ? v->size() + 1 : 0);
    if (v) packed_ += *v;
  }
  spool_.Write(packed_);
  ++rows_;
}

std::size_t RowSpool::Number() {
  std::size_t n = 0;
  for (int shift = 0;; shift += 7) {
    unsigned char byte = 0;
    if (!spool_.ReadByte(byte))
      throw std::runtime_error("generator: the temporary file of the waiting rows ends early");
    n |= static_cast<std::size_t>(byte & 0x7f) << shift;
    if ((byte & 0x80) == 0) return n;
  }
}

}  // namespace veriprog::gen
