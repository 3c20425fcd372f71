// Plan files: a dry run's change set kept on disk until it is applied.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "component/whole_file.h"
#include "veriprog/change_set.h"

namespace veriprog {

bool SavePlan(const ChangeSet& plan, const std::string& path, std::string* error) {
  try {
    return WriteWholeFile(path, ChangeSetToJson(plan) + "\n", "the plan", error);
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}

std::optional<ChangeSet> LoadPlan(const std::string& path, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    if (error) *error = "cannot read the plan " + path + ": it is a folder";
    return std::nullopt;
  }
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      if (error) *error = "cannot read the plan " + path;
      return std::nullopt;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string why;
    auto plan = ChangeSetFromJson(text, &why);
    if (!plan && error) *error = path + ": " + why;
    return plan;
  } catch (const std::exception& e) {
    if (error) *error = "cannot read the plan " + path + ": " + e.what();
    return std::nullopt;
  }
}

std::string PlanDestinationProblem(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (path.empty()) return "the plan's file name is empty";
  if (fs::is_directory(path, ec)) return path + " is a folder: name a file for the plan";
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, ec)) return "no folder " + folder.string() + " for the plan";
  const std::string probe = path + ".part";
  {
    std::ofstream out(probe, std::ios::binary | std::ios::app);
    if (!out) return "cannot write " + probe + ": the plan could not be saved there";
  }
  std::remove(probe.c_str());
  return "";
}

}  // namespace veriprog
