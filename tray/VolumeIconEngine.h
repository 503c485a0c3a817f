#pragma once
// The tray icon that shows the master's state: a speaker drawn at the size asked for (crisp at
// every size and pixel ratio) with no, one, two or three sound waves for the level, or crossed
// out in red while muted. Over a picture of the user's own (a custom .ico) it draws nothing but
// a small red mute mark, and only while muted.
//
//     QIcon icon(new VolumeIconEngine(VolumeIconEngine::levelOf(percent), muted));
//     QIcon custom(new VolumeIconEngine(VolumeIconEngine::Level::High, muted, userIcon));

#include <QIcon>
#include <QIconEngine>

class VolumeIconEngine : public QIconEngine {
public:
    enum class Level { Silent, Low, Medium, High };

    // base: the user's picture, shown instead of the speaker; a null icon draws the speaker.
    VolumeIconEngine(Level level, bool muted, const QIcon& base = QIcon());

    // 0 % is silent; up to a third low, up to two thirds medium, above that high.
    static Level levelOf(int percent);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;

private:
    void drawSpeaker(QPainter& painter, qreal side) const;
    static void drawMuteMark(QPainter& painter, qreal side);

    Level level_;
    bool muted_;
    QIcon base_;
};
