#include "cli/progress.h"

#include "platform/console.h"

namespace veriprog::cli {

// The events by the shape of their names: a check's Begin/Avanzamento/End, a rebuild's
// Begin/Processo/End, and a step's own BeginProcesso/AvanzamentoProcesso/EndProcesso.
void ProgressSink::OnEvent(const char* name, std::initializer_list<db::Variant*> args) {
  const std::string_view event = name;
  const db::Variant none;
  const db::Variant& first = args.size() > 0 ? **args.begin() : none;
  const bool check = event.find("Controllo") != std::string_view::npos;
  if (event.starts_with("BeginProcesso")) {
    SubStart(first);
  } else if (event.starts_with("AvanzamentoProcesso")) {
    SubStep(first);
  } else if (event.starts_with("EndProcesso")) {
  } else if (event.starts_with("Begin")) {
    if (check) {
      CheckStart(first);
    } else {
      rebuild_ = true;
      Start(first);
    }
  } else if (event.starts_with("Avanzamento")) {
    CheckStep(first);
  } else if (event.starts_with("Processo")) {
    Process(first, args.size() > 1 ? *args.begin()[1] : none);
  } else if (event.starts_with("End")) {
    if (check) {
      CheckDone();
    } else {
      rebuild_ = false;
      Done();
    }
  }
}

ProgressSink::ProgressSink(std::FILE* out) : out_(out), terminal_(platform::IsTerminal(out)) {}

ProgressSink::~ProgressSink() {
  if (drawn_) std::fputc('\n', out_);  // leave the last state visible after a failure
}

void ProgressSink::Start(const db::Variant& total) {
  if (ended_) PrintDone();  // an earlier pass of the same operation that ran to its end
  total_ = total.ToText();
  current_ = "0";
  label_.clear();
  started_ = std::chrono::steady_clock::now();
  running_ = true;
  Show();
}

void ProgressSink::CheckStart(const db::Variant& total) {
  if (rebuild_) {
    SubStart(total);
  } else if (!running_) {
    Start(total);
  }
}

void ProgressSink::CheckStep(const db::Variant& done) {
  rebuild_ ? SubStep(done) : Step(done);
}

void ProgressSink::CheckDone() {
  if (!rebuild_) Done();
}

void ProgressSink::Step(const db::Variant& done) {
  current_ = done.ToText();
  Show();
}

void ProgressSink::Process(const db::Variant& number, const db::Variant& text) {
  current_ = number.ToText();
  label_ = text.ToText();
  sub_max_.clear();
  sub_done_.clear();
  Show();
}

void ProgressSink::SubStart(const db::Variant& max) {
  sub_max_ = max.ToText();
  sub_done_ = "0";
  if (terminal_) Show();
}

void ProgressSink::SubStep(const db::Variant& done) {
  sub_done_ = done.ToText();
  if (terminal_) Show();
}

void ProgressSink::Done() {
  elapsed_ms_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - started_)
                    .count();
  ended_ = true;
  running_ = false;
}

void ProgressSink::Finish(bool succeeded) {
  if (succeeded) {
    if (ended_) PrintDone();
    return;
  }
  if (!running_ && !ended_) return;  // it failed before its first step
  if (terminal_ && drawn_) std::fputs("\r\x1b[K", out_);
  if (total_.empty()) {
    std::fputs("failed\n", out_);
  } else {
    std::fprintf(out_, "failed after %s of %s steps\n", current_.c_str(), total_.c_str());
  }
  drawn_ = false;
  running_ = false;
  ended_ = false;
  std::fflush(out_);
}

void ProgressSink::PrintDone() {
  if (terminal_ && drawn_) std::fputs("\r\x1b[K", out_);
  const double seconds = static_cast<double>(elapsed_ms_) / 1000.0;
  if (total_.empty()) {  // a check that announces no steps
    std::fprintf(out_, "done in %.1f s\n", seconds);
  } else {
    std::fprintf(out_, "done: %s of %s steps in %.1f s\n", total_.c_str(), total_.c_str(), seconds);
  }
  drawn_ = false;
  ended_ = false;
  std::fflush(out_);
}

void ProgressSink::Show() {
  // In a log only the named steps of a rebuild are worth a line each.
  if (!terminal_ && label_.empty()) return;
  std::string line = "[" + current_ + "/" + total_ + "]";
  if (!label_.empty()) line += " " + label_;
  if (!sub_max_.empty() && terminal_) line += " (" + sub_done_ + "/" + sub_max_ + ")";
  if (terminal_) {
    std::fprintf(out_, "\r\x1b[K%s", line.c_str());
    drawn_ = true;
  } else {
    std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fflush(out_);
}

}  // namespace veriprog::cli
