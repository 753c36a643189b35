#include "viewer/widgets/app_identity.h"

#include <QGuiApplication>

// The resources live in a static library: they are registered by name before first use.
static void InitViewerIcons() { Q_INIT_RESOURCE(viewer_icons); }

namespace vt {

QIcon ApplicationIcon() {
  InitViewerIcons();
  QIcon builtIn;
  builtIn.addFile(QStringLiteral(":/vantrelle/vantrelle-48.png"), QSize(48, 48));
  builtIn.addFile(QStringLiteral(":/vantrelle/vantrelle-128.png"), QSize(128, 128));
  return QIcon::fromTheme(QStringLiteral("vantrelle"), builtIn);
}

void SetUpApplicationIdentity(const char* version) {
  QGuiApplication::setApplicationName(QStringLiteral("Vantrelle viewer"));
  QGuiApplication::setApplicationVersion(QString::fromUtf8(version));
  QGuiApplication::setDesktopFileName(QStringLiteral("vantrelle"));
  QGuiApplication::setWindowIcon(ApplicationIcon());
}

}  // namespace vt
