#include "shell/filter_array.h"

#include <QFileDialog>
#include <QMimeDatabase>
#include <QMimeType>
#include <stdexcept>

namespace vt {
namespace {

// The extension of a file name as the Windows run-time library takes it: from the last "."
// after the last path delimiter, without the ".", empty when there is none.
std::string extensionOf(const std::string& name) {
  const size_t dot = name.find_last_of(".\\/:");
  if (dot == std::string::npos || name[dot] != '.') return {};
  return name.substr(dot + 1);
}

// The MIME database's comment for a file of the given name, matched by name only; empty when
// the database knows no type for it.
QString typeNameOf(const QString& fileName) {
  const QMimeDatabase database;
  const QMimeType type = database.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault()) return {};
  QString name = type.comment();
  if (name.size() > kMaxTypeNameLength) {
    qsizetype keep = kMaxTypeNameLength;
    if (name.at(keep - 1).isHighSurrogate()) --keep;
    name.truncate(keep);
  }
  return name;
}

QString qtPatternsOf(const std::string& pattern) {
  QStringList pieces;
  for (const QString& piece : QString::fromStdString(pattern).split(u';')) {
    const QString trimmed = piece.trimmed();
    if (trimmed.isEmpty()) continue;
    pieces << (trimmed == u"*.*" ? QStringLiteral("*") : trimmed);
  }
  if (pieces.isEmpty()) pieces << QStringLiteral("*");
  return pieces.join(u' ');
}

}  // namespace

std::string TkelShellFilterArray::DeriveDescription(const std::string& pattern) {
  const std::string first = pattern.substr(0, pattern.find(';'));
  const std::string extension = extensionOf(first);
  QString name = typeNameOf(QStringLiteral("1.") + QString::fromStdString(extension));
  if (name.isEmpty()) name = QString::fromStdString(extension).toUpper() + QStringLiteral(" File");
  return name.toStdString() + " (" + pattern + ")";
}

int TkelShellFilterArray::Add(const std::string& pattern) {
  return Add(pattern, DeriveDescription(pattern));
}

int TkelShellFilterArray::Add(const std::string& pattern, const std::string& description) {
  patterns_.push_back(pattern);
  descriptions_.push_back(description);
  return Count() - 1;
}

void TkelShellFilterArray::checkIndex(int i) const {
  if (i < 0 || i >= Count())
    throw std::out_of_range("Filter index " + std::to_string(i) + " out of range");
}

const std::string& TkelShellFilterArray::Pattern(int i) const {
  checkIndex(i);
  return patterns_[static_cast<size_t>(i)];
}

const std::string& TkelShellFilterArray::Description(int i) const {
  checkIndex(i);
  return descriptions_[static_cast<size_t>(i)];
}

void TkelShellFilterArray::SetPattern(int i, const std::string& pattern) {
  checkIndex(i);
  std::string description = DeriveDescription(pattern);
  patterns_[static_cast<size_t>(i)] = pattern;
  descriptions_[static_cast<size_t>(i)] = std::move(description);
}

std::string TkelShellFilterArray::FilterText() const {
  std::string text;
  for (size_t i = 0; i < patterns_.size(); ++i) {
    if (i > 0) text += '|';
    text += descriptions_[i] + '|' + patterns_[i];
  }
  return text;
}

QStringList TkelShellFilterArray::QtNameFilters() const {
  QStringList filters;
  for (size_t i = 0; i < patterns_.size(); ++i)
    filters << QString::fromStdString(descriptions_[i]) + QStringLiteral(" (") +
                   qtPatternsOf(patterns_[i]) + QStringLiteral(")");
  return filters;
}

void ApplyFileDialogFilters(QFileDialog& dialog, const TkelShellFilterArray& filters,
                            int filterIndex) {
  const QStringList qtFilters = filters.QtNameFilters();
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilters(qtFilters);
  if (qtFilters.isEmpty()) return;
  if (filterIndex < 1 || filterIndex > qtFilters.size()) filterIndex = 1;
  dialog.selectNameFilter(qtFilters.at(filterIndex - 1));
}

int SelectedFilterIndex(const QFileDialog& dialog, const TkelShellFilterArray& filters) {
  // With the details hidden, Qt's own dialog reports the filter as shown (the description);
  // a native one may report the whole filter.
  const QString selected = dialog.selectedNameFilter();
  const QStringList qtFilters = filters.QtNameFilters();
  for (int i = 0; i < filters.Count(); ++i)
    if (selected == qtFilters.at(i) ||
        selected == QString::fromStdString(filters.Description(i)).trimmed())
      return i + 1;
  return 0;
}

TkelShellFilterArray ViewerFileFilter(const std::string& pattern) {
  TkelShellFilterArray filters;
  filters.Add(pattern);
  filters.Add("*.*", "Any file");
  return filters;
}

}  // namespace vt
