#include "platform/qt/GpsMapWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppSettings.h"
#include "app/ButtonMenus.h"
#include "platform/qt/ButtonMenuDialog.h"
#include "platform/qt/GpsForms.h"
#include "platform/qt/ScreenFit.h"

// The map area: the image the map draws into, redrawn in full only after a change of size,
// scale or colours; between those the map moves its marker in the image itself.
class GpsMapWindow::Area : public QWidget {
  public:
    Area(GpsMap& map, QWidget* parent) : QWidget(parent), map_(map) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(40, 40);
    }
    ImageMapCanvas& canvas() { return canvas_; }
    void RedrawAll() {
        stale_ = true;
        update();
    }

  protected:
    void resizeEvent(QResizeEvent*) override {
        canvas_.resize(width(), height());
        map_.SetMapRect({0, 0, width(), height()});
        RedrawAll();
    }
    void paintEvent(QPaintEvent*) override {
        if (stale_ && map_.isOpen()) {
            map_.Redraw();
            stale_ = false;
        }
        QPainter(this).drawImage(0, 0, canvas_.image());
    }

  private:
    GpsMap& map_;
    ImageMapCanvas canvas_;
    bool stale_ = true;
};

GpsMapWindow::GpsMapWindow(GpsMap& map, QWidget* parent)
    : QDialog(parent),
      map_(map),
      status_(new QLabel(this)),
      area_(new Area(map, this)),
      menu_(new QPushButton("Menu", this)),
      satellites_(new QLabel(this)),
      scale_(new QLabel(this)) {
    setObjectName("GPSmap");
    setWindowTitle("GPS map");
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    setFont(big);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    status_->setFrameShape(QFrame::Box);
    layout->addWidget(status_);
    layout->addWidget(area_, 1);
    auto* bottom = new QHBoxLayout;
    // Return opens the menu, as a tap on it does: the window's one button, where Return
    // otherwise did nothing and only Space (on a button that shows no focus) opened it.
    menu_->setDefault(true);
    menu_->setMinimumHeight(menu_->sizeHint().height() * 2);
    bottom->addWidget(menu_, 1);
    // The satellite and scale texts keep a gap between them whatever their length.
    bottom->setSpacing(fontMetrics().horizontalAdvance("  "));
    satellites_->setMinimumWidth(fontMetrics().horizontalAdvance("Nsats = 999"));
    scale_->setMinimumWidth(fontMetrics().horizontalAdvance("Scale: 50km"));
    satellites_->setAlignment(Qt::AlignCenter);
    bottom->addWidget(satellites_, 1);
    scale_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bottom->addWidget(scale_, 1);
    layout->addLayout(bottom);
    connect(menu_, &QPushButton::clicked, this, [this] { RunMenu(); });
    map_.setTextsChanged([this] {
        showTexts();
        area_->update();
    });
    platform::qt::showCoveringScreen(*this, parent);
}

GpsMapWindow::~GpsMapWindow() {
    map_.setTextsChanged({});
    map_.Close();
}

QWidget* GpsMapWindow::mapArea() const {
    return area_;
}

const QImage& GpsMapWindow::mapImage() const {
    return area_->canvas().image();
}

void GpsMapWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!map_.isOpen()) {
        map_.Open(&area_->canvas(), {0, 0, area_->width(), area_->height()});
        area_->RedrawAll();
    }
    showTexts();
}

void GpsMapWindow::done(int result) {
    map_.Close();
    QDialog::done(result);
}

void GpsMapWindow::showTexts() {
    status_->setText(QString::fromStdString(map_.statusText()));
    satellites_->setText(QString::fromStdString(map_.satelliteText()));
    scale_->setText(QString::fromStdString(map_.scaleText()));
}

void GpsMapWindow::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (GpsMap::TapOpensMenu(p.x(), p.y(), width(), height())) {
        RunMenu();
    } else {
        reject();
    }
}

void GpsMapWindow::RunMenu() {
    bool coloursChanged = false;
    DialogMenuGPSMap menu([this](DialogMenuTemplate& m) { ButtonMenuDialog::Run(m, this); },
                          map_.scaleValue(),
                          [this, &coloursChanged] {
                              GpsForms::EditMapColours(this, appSettings());
                              coloursChanged = true;
                          });
    menu.Run();
    switch (map_.HandleMenuResult(menu.result())) {
        case GpsMap::MenuAction::Close:
            reject();
            return;
        case GpsMap::MenuAction::ScaleChanged:  // the map has redrawn itself
            showTexts();
            area_->update();
            break;
        case GpsMap::MenuAction::None:
            if (coloursChanged) area_->RedrawAll();
            break;
    }
}
