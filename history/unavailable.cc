// The Windows build has no SQLite yet: a history is refused at its opening, and no store is ever
// made for the other members to be asked.
#include "veriprog/history.h"

namespace veriprog::history {

struct Store::Db {};

namespace {
constexpr const char* kUnavailable =
    "the run history is not in the Windows build yet: run without --history";
template <typename T>
T Refuse(std::string* error) {
  if (error) *error = kUnavailable;
  return T();
}
}  // namespace

Store::Store(std::string path, std::unique_ptr<Db> db)
    : path_(std::move(path)), db_(std::move(db)) {}
Store::~Store() = default;
std::unique_ptr<Store> Store::Open(const std::string&, std::string* error) {
  return Refuse<std::unique_ptr<Store>>(error);
}
std::unique_ptr<Store> Store::OpenToRead(const std::string&, std::string* error) {
  return Refuse<std::unique_ptr<Store>>(error);
}
std::int64_t Store::Record(const Run&, const std::vector<Finding>&, const std::string&,
                           std::string* error) {
  return Refuse<std::int64_t>(error);
}
std::int64_t Store::RecordBatch(Run, const std::vector<BatchUnit>&, std::string* error) {
  return Refuse<std::int64_t>(error);
}
std::vector<RunFinding> Store::Findings(std::int64_t, std::string* error) {
  return Refuse<std::vector<RunFinding>>(error);
}
int Store::Acknowledge(const std::vector<std::string>&, const std::string&, const Scope*,
                       std::string* error) {
  return Refuse<int>(error);
}
std::optional<Run> Store::Get(std::int64_t, std::string* error) {
  return Refuse<std::optional<Run>>(error);
}
std::vector<Run> Store::Runs(int, std::int64_t, std::string* error) {
  return Refuse<std::vector<Run>>(error);
}
std::vector<KeyEvent> Store::KeyStory(const std::string&, std::string* error) {
  return Refuse<std::vector<KeyEvent>>(error);
}
std::vector<TrendPoint> Store::Trend(const Run&, int, std::string* error) {
  return Refuse<std::vector<TrendPoint>>(error);
}
std::optional<double> Store::LastSuccess(const Run&, std::string* error) {
  return Refuse<std::optional<double>>(error);
}
std::string Store::ChangeSet(std::int64_t, std::string* error) {
  return Refuse<std::string>(error);
}
bool Store::MarkUndone(std::int64_t, std::int64_t, std::string* error) {
  return Refuse<bool>(error);
}
std::int64_t Store::Prune(double, std::string* error) {
  return Refuse<std::int64_t>(error);
}

}  // namespace veriprog::history
