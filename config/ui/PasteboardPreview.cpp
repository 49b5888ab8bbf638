#include "config/ui/PasteboardPreview.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QTextEdit>
#include <QVBoxLayout>

namespace presto {

PasteboardPreview::PasteboardPreview(QWidget* parent) : QWidget(parent) {
    text_ = new QTextEdit(this);
    text_->setReadOnly(true);
    text_->setAcceptRichText(false);
    text_->setLineWrapMode(QTextEdit::WidgetWidth);
    image_ = new QLabel;
    image_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imageScroll_ = new QScrollArea(this);
    imageScroll_->setWidget(image_);
    imageScroll_->setWidgetResizable(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text_);
    layout->addWidget(imageScroll_);
    clear();
}

void PasteboardPreview::clear() {
    text_->clear();
    image_->clear();
    image_->resize(0, 0);
    text_->hide();
    imageScroll_->hide();
}

void PasteboardPreview::setText(const QByteArray& data) {
    // Plain text: markup in a snapshot shows as typed.
    text_->setPlainText(QString::fromUtf8(data));
    imageScroll_->hide();
    text_->show();
}

void PasteboardPreview::setImage(const QByteArray& data) {
    const QImage picture = QImage::fromData(data);
    image_->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
    image_->resize(picture.size());
    text_->hide();
    imageScroll_->show();
}

bool PasteboardPreview::showsText() const {
    return !text_->isHidden();
}

bool PasteboardPreview::showsImage() const {
    return !imageScroll_->isHidden();
}

QString PasteboardPreview::text() const {
    return text_->toPlainText();
}

QSize PasteboardPreview::imageSize() const {
    return image_->pixmap().isNull() ? QSize() : image_->pixmap().size();
}

} // namespace presto
