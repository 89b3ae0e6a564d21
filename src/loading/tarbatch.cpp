#include "loading/tarbatch.hpp"

#include "common/entrypath.hpp"

void TarBatch::Start(std::string_view code) {
  code_ = code;
  given_.clear();
  holding_.clear();
  selecting_in_.reset();
  count_ = 0;
  list_.emplace(list_path_);
}

bool TarBatch::Add(std::string_view name) {
  if (name.empty() || Selects(name)) return false;
  std::string_view listed = WithoutTrailingSlashes(name);
  given_.emplace(listed, count_);
  size_t slash = listed.rfind('/');
  if (slash != std::string_view::npos && slash > 0) holding_.emplace(listed.substr(0, slash));
  selecting_in_.reset();
  list_->Write(name, '\0');
  ++count_;
  return true;
}

bool TarBatch::Selects(std::string_view member) const {
  member = WithoutTrailingSlashes(member);
  size_t slash = member.rfind('/');
  if (slash == std::string_view::npos || slash == 0) return given_.contains(member);
  // Members come directory by directory: what holds for the directory of
  // the member before holds for this one's. A member of a directory that
  // is not selected is itself listed only where a listed name lies in that
  // directory.
  std::string_view directory = member.substr(0, slash);
  if (!selecting_in_ || *selecting_in_ != directory) {
    selecting_in_ = std::string(directory);
    directory_selected_ = SelectsDirectory(directory);
    directory_holds_ = holding_.contains(directory);
  }
  return directory_selected_ || (directory_holds_ && given_.contains(member));
}

bool TarBatch::SelectsDirectory(std::string_view directory) const {
  if (given_.contains(directory)) return true;
  for (size_t slash = directory.find('/'); slash != std::string_view::npos;
       slash = directory.find('/', slash + 1)) {
    if (slash > 0 && given_.contains(directory.substr(0, slash))) return true;
  }
  return false;
}

const std::string& TarBatch::Finish() {
  list_->Close();
  list_.reset();
  return list_path_;
}
