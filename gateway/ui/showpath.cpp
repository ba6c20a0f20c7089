#include "showpath.h"

#include "messagebox.h"
#include "twips.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QPushButton>
#include <QResizeEvent>
#include <QStorageInfo>
#include <QTreeView>

std::optional<QString> Show_Path::s_nextAnswer;

namespace {

// Room below the folder tree for the button pair.
constexpr int kButtonRowTwips = 435;

bool isReadableFolder(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && info.isReadable() && info.isExecutable() && QDir(path).isReadable();
}

} // namespace

Show_Path::Show_Path(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Show_Path"));
    setWindowTitle(QStringLiteral("選擇路徑"));
    setModal(true);

    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    for (const QString& root : driveList())
        Drive1->addItem(root, root);

    m_folders = new QFileSystemModel(this);
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    m_folders->setReadOnly(true);
    Dir1 = new QTreeView(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setModel(m_folders);
    Dir1->setHeaderHidden(true);
    for (int column = 1; column < m_folders->columnCount(); ++column)
        Dir1->hideColumn(column);
    Dir1->setSelectionMode(QAbstractItemView::SingleSelection);

    const QStringList captions{QStringLiteral("確定"), QStringLiteral("取消")};
    for (int index = 0; index < 2; ++index) {
        auto* button = new QPushButton(captions.at(index), this);
        button->setObjectName(QStringLiteral("Command1_%1").arg(index));
        button->setProperty("index", index);
        Command1[std::size_t(index)] = button;
    }
    Command1[0]->setDefault(true);
    connect(Command1[0], &QPushButton::clicked, this, [this] {
        m_chosen = selectedFolder();
        accept();
    });
    connect(Command1[1], &QPushButton::clicked, this, &QDialog::reject);

    // Start where the program stands, as the lists of a fresh chooser do.
    const QString current = QDir::currentPath();
    const QString drive = QStorageInfo(current).rootPath();
    if (!setDrive(drive.isEmpty() ? QStringLiteral("/") : drive))
        setDrive(QStringLiteral("/"));
    setFolder(current);
    connect(Drive1, &QComboBox::activated, this, &Show_Path::driveChosen);

    resize(360, 420);
    layOut(true);
}

QString Show_Path::choose(QWidget* parent) {
    if (s_nextAnswer) {
        const QString answer = *s_nextAnswer;
        s_nextAnswer.reset();
        return answer;
    }
    Show_Path chooser(parent);
    chooser.exec();
    return chooser.chosenFolder();
}

void Show_Path::setNextAnswer(const QString& folder) {
    s_nextAnswer = folder;
}

QStringList Show_Path::driveList() {
    QStringList roots{QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && !roots.contains(volume.rootPath()))
            roots.append(volume.rootPath());
    }
    std::sort(roots.begin() + 1, roots.end());
    return roots;
}

bool Show_Path::setDrive(const QString& root) {
    if (!isReadableFolder(root)) {
        MessageBox::show(this, root + QStringLiteral(" 無法讀取"));
        const int shown = Drive1->findData(m_drive);
        if (shown >= 0)
            Drive1->setCurrentIndex(shown);
        return false;
    }
    m_drive = root;
    int index = Drive1->findData(root);
    if (index < 0) {
        Drive1->addItem(root, root);
        index = Drive1->count() - 1;
    }
    Drive1->setCurrentIndex(index);
    Dir1->setRootIndex(m_folders->setRootPath(root));
    Dir1->setCurrentIndex(QModelIndex());
    Dir1->clearSelection();
    return true;
}

void Show_Path::setFolder(const QString& path) {
    const QString folder = QDir::cleanPath(path);
    const QString drive = QDir::cleanPath(m_drive);
    const bool onDrive = drive == QStringLiteral("/") || folder == drive ||
                         folder.startsWith(drive + QLatin1Char('/'));
    if (!onDrive)
        return;
    const QModelIndex index = m_folders->index(folder);
    if (!index.isValid() || index == Dir1->rootIndex())
        return;
    Dir1->setCurrentIndex(index);
    Dir1->scrollTo(index);
}

QString Show_Path::selectedFolder() const {
    const QModelIndex current = Dir1->currentIndex();
    const QString path = current.isValid() ? m_folders->filePath(current) : m_drive;
    return QDir::cleanPath(path);
}

void Show_Path::driveChosen(int index) {
    setDrive(Drive1->itemData(index).toString());
}

void Show_Path::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layOut(false);
}

void Show_Path::layOut(bool onLoad) {
    const int innerWidth = width();
    const int driveHeight = Drive1->sizeHint().height();
    const int treeHeight = height() - driveHeight - twipsToPixels(kButtonRowTwips);
    // A window too small for the tree keeps the previous layout.
    if (!onLoad && treeHeight <= 0)
        return;
    Drive1->setGeometry(0, 0, innerWidth, driveHeight);
    Dir1->setGeometry(0, driveHeight, innerWidth, qMax(0, treeHeight));
    const int buttonWidth = Command1[0]->sizeHint().width();
    const int buttonHeight = Command1[0]->sizeHint().height();
    const int left = (innerWidth - 2 * buttonWidth) / 2;
    const int top = driveHeight + Dir1->height();
    Command1[0]->setGeometry(left, top, buttonWidth, buttonHeight);
    Command1[1]->setGeometry(left + buttonWidth, top, buttonWidth, buttonHeight);
}
