// Type names from a MIME database of our own, installed for this program alone in a data folder
// that is set before the database is first read.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <cstdlib>

#include "shell/filter_array.h"

namespace vt {
namespace {

const QString kLong = QString(100, u'L');
const QString kAtSurrogate = QString(79, u'S') + QString::fromUtf8("\xF0\x9F\x93\xB7") + "tail";

QTemporaryDir kData;

const bool kInstalled = [](QTemporaryDir* data) {
  QDir(data->path()).mkpath("mime/packages");
  QFile package(data->filePath("mime/packages/vt-test.xml"));
  if (package.open(QIODevice::WriteOnly)) {
    const auto type = [](const char* name, const char* glob, const QString& comment) {
      return QString("<mime-type type=\"application/%1\"><comment>%2</comment>"
                     "<glob pattern=\"*.%3\"/></mime-type>")
          .arg(name, comment, glob);
    };
    package.write(("<?xml version=\"1.0\"?><mime-info "
                   "xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">" +
                   type("x-vt-long", "vtlong", kLong) +
                   type("x-vt-surrogate", "vtsurr", kAtSurrogate) +
                   type("x-vt-cyrillic", "vtcyr", QString::fromUtf8("Снимок камеры")) +
                   "</mime-info>")
                      .toUtf8());
  }
  setenv("XDG_DATA_HOME", data->path().toLocal8Bit().constData(), 1);
  return package.error() == QFile::NoError && data->isValid();
}(&kData);

TEST(FilterMimeTypeNames, TakenFromTheDatabaseAndCutAt80Characters) {
  ASSERT_TRUE(kInstalled);
  QLocale::setDefault(QLocale(QLocale::English));
  EXPECT_EQ(TkelShellFilterArray::DeriveDescription("*.vtcyr"), "Снимок камеры (*.vtcyr)");
  EXPECT_EQ(TkelShellFilterArray::DeriveDescription("*.vtlong"),
            std::string(kMaxTypeNameLength, 'L') + " (*.vtlong)");
  // a character outside the basic plane is not split at the limit
  EXPECT_EQ(TkelShellFilterArray::DeriveDescription("*.vtsurr"),
            std::string(79, 'S') + " (*.vtsurr)");
}

}  // namespace
}  // namespace vt
