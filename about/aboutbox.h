#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace about {

// The About box: the product picture, the maker's web-site link and e-mail
// address, and OK.
class AboutBox final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutBox)

public:
    // shellOpen opens an address in the user's browser.
    explicit AboutBox(std::function<void(const QString &)> shellOpen, QWidget *parent = nullptr);

    static QString webAddress();
    static QString emailAddress();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *productPicture = nullptr;
    QLabel *webLink = nullptr;
    QLabel *emailLabel = nullptr;
    QPushButton *okButton = nullptr;

    void setLinkColor(const QColor &color);
    std::function<void(const QString &)> m_shellOpen;
};

// A small box about one of the maker's other products, with a button that
// opens its download page.
class InfoBox final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InfoBox)

public:
    enum class Product
    {
        Fizzet,
        IncreaseTraffic
    };
    InfoBox(Product product, std::function<void(const QString &)> shellOpen, QWidget *parent = nullptr);

    QString address() const { return m_address; }

private:
    QPushButton *downloadButton = nullptr;
    QPushButton *okButton = nullptr;

    QString m_address;
};

} // namespace about
