#pragma once

#include <QDialog>

class QListWidget;
class QListWidgetItem;
class QPushButton;

// The drop-down under the strip's watermark button: "No Watermark", one row
// per preset with the one in use checked, and the way into the manager.
class WhaterMarkMenuDlg : public QDialog
{
    Q_OBJECT
public:
    explicit WhaterMarkMenuDlg(QWidget* parent = nullptr);

    // Rebuilds the rows from the store; `current` (-1 for none) is checked.
    void onLoadData(int current);

    QListWidget* listWidget() const { return m_pList; }

signals:
    void sigBtnAMWaterMarkClicked();
    // index -1 stands for "No Watermark"; the last argument is the row.
    void sigPopViewListItemClicked(int index, QString name, int row);

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void onItemClicked(QListWidgetItem* item);
    void fitHeight();

    QListWidget* m_pList = nullptr;
    QPushButton* m_pBtnManage = nullptr;
    int m_nCurrent = -1;
};
