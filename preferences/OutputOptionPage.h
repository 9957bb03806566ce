#pragma once

#include <QString>

#include "preferences/OptionPage.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;

// Where recordings and screenshots go, and what files a recording makes:
// container, codec, quality and frame rate of videos, format and quality
// of sound, format of screenshots. The codec list follows the container,
// from what the engine offers for it; with GIF chosen the page tells how
// long a GIF of the current area may run.
class OutputOptionPage : public OptionPage
{
    Q_OBJECT
public:
    explicit OutputOptionPage(QWidget* parent = nullptr);

    void load() override;
    bool apply(QString* error) override;

protected:
    QVariantList values() const override;

private:
    // One folder row: the path, a Browse button and a button back to the
    // program's own folder; the free space of its volume below.
    struct FolderRow {
        QLineEdit* edit = nullptr;
        QLabel* free = nullptr;
        QString loaded;
    };
    FolderRow addFolderRow(QFormLayout* form, const QString& label, const char* name, const QString& fallback);
    void fillContainers();
    void fillCodecs();
    void fillFrameRates(int stored);
    void showGifLimit();
    static void showFreeSpace(QLabel* label, const QString& folder);
    static bool usableFolder(const QString& folder, QString* error);

    FolderRow m_video;
    FolderRow m_snapshot;
    QLineEdit* m_pTempFolder = nullptr;
    QLabel* m_pTempFree = nullptr;
    QComboBox* m_pContainer = nullptr;
    QComboBox* m_pCodec = nullptr;
    QComboBox* m_pVideoQuality = nullptr;
    QComboBox* m_pFrameRate = nullptr;
    QLabel* m_pGifLimit = nullptr;
    QComboBox* m_pAudioFormat = nullptr;
    QComboBox* m_pAudioQuality = nullptr;
    QComboBox* m_pImageFormat = nullptr;
};
