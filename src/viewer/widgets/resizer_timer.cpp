#include "viewer/widgets/resizer_timer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <exception>

#include "viewer/resizer.h"

namespace vt {

namespace {

// The timer belongs to the application object, so it never outlives the event loop it needs;
// the resizer only switches it on and off.
class TvtQtResizerTimer : public IvtResizerTimer {
 public:
  explicit TvtQtResizerTimer(TvtGR32Resizer& resizer) : timer_(new QTimer(QCoreApplication::instance())) {
    timer_->setInterval(static_cast<int>(TvtGR32Resizer::kPollInterval.count()));
    QObject::connect(timer_, &QTimer::timeout, [&resizer] {
      // Nothing may leave a timer's slot; a poll that fails (no thread could be started) is
      // tried again at the next tick.
      try {
        resizer.Poll();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "Smooth scaling could not go on: %s\n", e.what());
      } catch (...) {
        std::fprintf(stderr, "Smooth scaling could not go on\n");
      }
    });
  }
  ~TvtQtResizerTimer() override { delete timer_.data(); }
  void SetEnabled(bool enabled) override {
    if (!timer_) return;
    if (enabled && !timer_->isActive()) timer_->start();
    if (!enabled) timer_->stop();
  }

 private:
  QPointer<QTimer> timer_;
};

}  // namespace

void InstallResizerTimer(TvtGR32Resizer* resizer) {
  TvtGR32Resizer& r = resizer ? *resizer : GR32Resizer();
  if (r.HasTimerFactory()) return;
  r.SetTimerFactory([](TvtGR32Resizer& owner) { return std::make_unique<TvtQtResizerTimer>(owner); });
}

}  // namespace vt
