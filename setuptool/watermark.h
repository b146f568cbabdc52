// waterMark: the window in which the user composes a text watermark and
// draws it into the watermark bitmaps that the rasterizer lays over the pages,
// one set for the USB model (LR880) and one for the network model (LR880N).
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace Ui
{
class waterMark;
}

class waterMark : public QWidget
{
    Q_OBJECT

  public:
    // The eight templates, in the order of their coordinates.
    enum Page {
        UsbA4,
        UsbB5,
        UsbA4_1200,
        UsbB5_1200,
        NetA4,
        NetB5,
        NetA4_1200,
        NetB5_1200,
        PageCount
    };

    explicit waterMark(QWidget *parent = nullptr);
    ~waterMark() override;

    // Loads the templates, shows the reference (USB A4) template in the
    // preview, sets the position sliders to its size and every page's text
    // position to its centre. False only for an empty path.
    bool showPic(QString &path);

    // The template at templateFile with the watermark text drawn centred at
    // (x, y), in the template's size and pixel format; a null image when the
    // template cannot be read. Sets the progress bar as it goes.
    QImage imageWater(const QString &templateFile, int x, int y);

    // Saves image to path in the format of the path's suffix, replacing the
    // file only once the new one is complete. False when nothing was saved.
    bool writeFile(const QString &path, QImage &image);

    static QString templatePath(Page page);
    static QString outputPath(Page page);

  protected:
    void changeEvent(QEvent *event) override;

  private slots:
    void on_wordSize_sliderMoved(int position);
    void on_wordAngel_sliderMoved(int position);
    void on_horizontalSlider_sliderMoved(int position);
    void on_verticalSlider_sliderMoved(int position);
    void on_viewWater_clicked();
    void on_generate_clicked();
    void on_generate_2_clicked();

  private:
    // Draws and saves the four pages first..first+3; the first page at
    // (firstX, firstY), the others at their centres. Reports the outcome.
    void writeSet(Page first, int firstX, int firstY);
    void showInPreview(const QImage &image);

    QString templatePaths[PageCount];
    QString outputPaths[PageCount];
    bool templatesLoaded = false;
    int wordSize = 2;
    double wordAngle = 0.0;
    int posX[PageCount] = {};
    int posY[PageCount] = {};
    Ui::waterMark *ui;
};
