#pragma once

#include <QByteArray>
#include <QWidget>

class QLabel;
class QScrollArea;
class QTextEdit;

namespace presto {

// Shows a clipboard snapshot: its text in a read-only text view, or its picture at full size in
// a scrolled image view; never both.
class PasteboardPreview : public QWidget {
public:
    explicit PasteboardPreview(QWidget* parent = nullptr);

    // Empties both views and hides them.
    void clear();
    // UTF-8 text.
    void setText(const QByteArray& data);
    // A picture in any format Qt reads (TIFF here); data that is no picture shows an empty view.
    void setImage(const QByteArray& data);

    bool showsText() const;
    bool showsImage() const;
    QString text() const;
    QSize imageSize() const;

    QTextEdit* textView() const { return text_; }
    QScrollArea* imageScroll() const { return imageScroll_; }

private:
    QTextEdit* text_ = nullptr;
    QScrollArea* imageScroll_ = nullptr;
    QLabel* image_ = nullptr;
};

} // namespace presto
