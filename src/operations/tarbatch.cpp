#include "operations/tarbatch.hpp"

#include "common/entrypath.hpp"

void TarBatch::Start(std::string_view code) {
  code_ = code;
  given_.clear();
  count_ = 0;
  list_.emplace(list_path_);
}

bool TarBatch::Add(std::string_view name) {
  if (name.empty() || Selects(name)) return false;
  given_.emplace(WithoutTrailingSlashes(name));
  list_->Write(name, '\0');
  ++count_;
  return true;
}

bool TarBatch::Selects(std::string_view member) const {
  member = WithoutTrailingSlashes(member);
  if (given_.contains(member)) return true;
  for (size_t slash = member.find('/'); slash != std::string_view::npos;
       slash = member.find('/', slash + 1)) {
    if (slash > 0 && given_.contains(member.substr(0, slash))) return true;
  }
  return false;
}

const std::string& TarBatch::Finish() {
  list_->Close();
  list_.reset();
  return list_path_;
}
