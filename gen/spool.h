// What the generator keeps until the connection is free, out of memory: bytes written in turn and
// read back once, in the order written. The first megabyte stays in memory; beyond it they go to a
// temporary file of the system's temporary folder, removed when the spool goes. A ledger of ten
// million lines then holds a megabyte of its waiting rows, not gigabytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gen/ledger_writer.h"

namespace veriprog::gen {

class Spool {
 public:
  Spool();
  ~Spool();
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  // Throws std::runtime_error when the temporary file cannot be made or written.
  void Write(std::string_view bytes);
  // From here on the spool is read, from the start; nothing more is written.
  void Rewind();
  // The next byte; false at the end.
  bool ReadByte(unsigned char& byte) {
    if (pos_ == buffer_.size() && !Refill()) return false;
    byte = static_cast<unsigned char>(buffer_[pos_++]);
    return true;
  }
  // The next `size` bytes; throws std::runtime_error when fewer are left.
  void Read(char* out, std::size_t size);
  bool empty() const { return !file_ && buffer_.empty(); }

 private:
  void Spill();
  bool Refill();

  struct Close {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Close> file_;
  std::filesystem::path path_;  // still to remove when the file is closed
  std::string buffer_;          // waiting to be written, or read and not yet taken
  std::size_t pos_ = 0;
  bool reading_ = false;
};

// Rows of text fields (nullopt for NULL) packed into a spool: a length before each field.
class RowSpool {
 public:
  void Add(std::span<const Opt> values);
  std::size_t rows() const { return rows_; }
  // Every row in the order added, once.
  template <typename Each>
  void ForEach(Each&& each) {
    spool_.Rewind();
    std::vector<Opt> row;
    for (std::size_t n = 0; n < rows_; ++n) {
      row.resize(Number());
      for (Opt& field : row) {
        const std::size_t size = Number();
        if (size == 0) {
          field.reset();
          continue;
        }
        if (!field) field.emplace();
        field->resize(size - 1);
        spool_.Read(field->data(), size - 1);
      }
      each(std::span<const Opt>(row));
    }
  }

 private:
  std::size_t Number();

  Spool spool_;
  std::string packed_;  // the row being packed
  std::size_t rows_ = 0;
};

}  // namespace veriprog::gen
