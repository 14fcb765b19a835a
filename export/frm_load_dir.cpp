#include "export/frm_load_dir.h"

#include "export/save_rules.h"

#include "support/addin/addin_state.h"
#include "support/base/failure.h"
#include "support/base/twips.h"
#include "support/errors/error_trap.h"
#include "support/files/quillmere_io.h"

#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QVBoxLayout>

#include <cerrno>

namespace bramlotte::exporting {
namespace {

const char* const kModule = "frmLoadDir";
const QString kDefaultName = QStringLiteral("Bramlotte_Output");

using support::placeTwips;

template <typename W>
W* control(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* w = new W(parent);  // owned by the dialog
    w->setObjectName(QLatin1String(name));
    placeTwips(*w, left, top, width, height);
    return w;
}

// File systems that hold no user files.
bool isPseudo(const QStorageInfo& volume) {
    static const QList<QByteArray> pseudo = {
        "proc",    "sysfs",  "devtmpfs", "devpts",   "cgroup",  "cgroup2",  "securityfs", "debugfs",
        "tracefs", "mqueue", "overlay",  "squashfs", "fusectl", "configfs", "pstore",     "bpf"};
    return pseudo.contains(volume.fileSystemType());
}

// The file-system roots: "/" and the mounted volumes.
QStringList roots() {
    QStringList list{QStringLiteral("/")};
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (v.isValid() && !isPseudo(v) && !list.contains(v.rootPath())) {
            list << v.rootPath();
        }
    }
    return list;
}

}  // namespace

DirectoryList::DirectoryList(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);  // owned by this list
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new QListWidget(this);
    layout->addWidget(list_);
    list_->installEventFilter(this);
    connect(list_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setPath(item->data(Qt::UserRole).toString()); });
}

bool DirectoryList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (QListWidgetItem* item = list_->currentItem()) {
                setPath(item->data(Qt::UserRole).toString());
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DirectoryList::setPath(const QString& path) {
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (!QFileInfo(clean).isDir()) {
        throw support::Failure::fromErrno(ENOENT, clean + QStringLiteral("/"));
    }
    if (clean == path_) {
        return;
    }
    path_ = clean;
    refresh();
    emit changed();
}

void DirectoryList::refresh() {
    list_->clear();
    QDir dir(path_);
    // The folder itself, its parent, then its subfolders.
    auto add = [&](const QString& label, const QString& target) {
        auto* item = new QListWidgetItem(label, list_);  // owned by the list
        item->setData(Qt::UserRole, target);
    };
    add(path_, path_);
    if (!dir.isRoot()) {
        add(QStringLiteral(".."), QDir::cleanPath(path_ + QStringLiteral("/..")));
    }
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        add(sub, dir.filePath(sub));
    }
}

frmLoadDir::frmLoadDir(Kind kind, QWidget* parent) : QDialog(parent), kind_(kind) {
    const bool table = kind == Kind::Table;
    setObjectName(table ? QStringLiteral("frmExportTable") : QStringLiteral("frmExportFile"));
    setWindowTitle(table ? QStringLiteral("Bramlotte - Export Table")
                         : QStringLiteral("Bramlotte - Export Text File"));
    setFixedSize(support::twipsToPixelsX(*this, 6855), support::twipsToPixelsY(*this, 3390));
    setModal(true);

    Drive1 = control<QComboBox>(this, "Drive1", 120, 120, 1635, 315);
    Dir1 = control<DirectoryList>(this, "Dir1", 120, 450, 3315, 1890);
    File1 = control<QListWidget>(this, "File1", 3540, 480, 3135, 1845);
    btnSave = control<QPushButton>(this, "btnSave", 5415, 2880, 1275, 375);
    btnCancel = control<QPushButton>(this, "btnCancel", 4500, 2880, 855, 375);
    btnSave->setText(QStringLiteral("Save"));
    btnCancel->setText(QStringLiteral("Cancel"));
    btnSave->setDefault(true);  // Enter saves; Esc rejects, which is Cancel
    btnSave->setAutoDefault(true);
    btnCancel->setAutoDefault(false);
    QList<QWidget*> order = {Drive1, Dir1->list(), File1, btnSave, btnCancel};
    if (table) {
        // In the form's font, and wide enough for the whole caption.
        Option1 = control<QRadioButton>(this, "Option1", 1560, 3000, 1560, 255);
        Option2 = control<QRadioButton>(this, "Option2", 3180, 3000, 1215, 255);
        Option1->setText(QStringLiteral("Comma (.csv)"));
        Option2->setText(QStringLiteral("Tab (.txt)"));
        for (QRadioButton* o : {Option1, Option2}) {
            o->setFont(support::formFont(8.25, true));
        }
        auto* label1 = control<QLabel>(this, "Label1", 120, 3000, 1395, 255);
        label1->setText(QStringLiteral("Field Delimiter:"));
        label1->setFont(support::formFont(8.25, true));
        order << Option1 << Option2;
        connect(Option1, &QRadioButton::clicked, this, &frmLoadDir::Option1_Click);
        connect(Option2, &QRadioButton::clicked, this, &frmLoadDir::Option2_Click);
    }
    Text1 = table ? control<QLineEdit>(this, "Text1", 1560, 2520, 2475, 315)
                  : control<QLineEdit>(this, "Text1", 180, 2820, 3315, 315);
    auto* label2 = control<QLabel>(this, "Label2", 120, 2520, 1215, 255);
    label2->setText(QStringLiteral("File Name:"));
    lblExt = table ? control<QLabel>(this, "lblExt", 4080, 2580, 375, 255)
                   : control<QLabel>(this, "lblExt", 3600, 2880, 375, 255);
    order << Text1;
    for (int i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    for (QWidget* w : {static_cast<QWidget*>(label2), static_cast<QWidget*>(lblExt),
                       static_cast<QWidget*>(btnSave), static_cast<QWidget*>(btnCancel)}) {
        w->setFont(support::formFont(8.25, true));
    }
    for (QWidget* w : {static_cast<QWidget*>(Drive1), static_cast<QWidget*>(Dir1->list()),
                       static_cast<QWidget*>(File1), static_cast<QWidget*>(btnSave),
                       static_cast<QWidget*>(btnCancel)}) {
        w->setCursor(Qt::PointingHandCursor);
    }

    connect(Drive1, QOverload<int>::of(&QComboBox::activated), this, &frmLoadDir::Drive1_Change);
    connect(Dir1, &DirectoryList::changed, this, &frmLoadDir::Dir1_Change);
    connect(File1, &QListWidget::itemClicked, this, &frmLoadDir::File1_Click);
    connect(File1, &QListWidget::itemDoubleClicked, this, &frmLoadDir::File1_DblClick);
    connect(btnSave, &QPushButton::clicked, this, &frmLoadDir::btnSave_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmLoadDir::btnCancel_Click);
    Form_Load();
}

void frmLoadDir::Form_Load() {
    failureReported_ |=
        !BRAMLOTTE_TRAP(desktopReporter(), "Form_Load", kModule, [&](support::ErrorTrap& trap) {
            BRAMLOTTE_LINE(trap);
            ui().setPointer(support::Pointer::Default);
            BRAMLOTTE_LINE(trap);
            const QString current = QDir::currentPath();
            Drive1->clear();
            Drive1->addItems(roots());
            Drive1->setCurrentText(QStorageInfo(current).rootPath());
            BRAMLOTTE_LINE(trap);
            Dir1->setPath(current);
            listFiles();
            Text1->setText(kDefaultName);
            if (Option1) {
                Option1->setChecked(true);
            }
            lblExt->setText(kind_ == Kind::Table ? QStringLiteral(".csv") : QStringLiteral(".txt"));
        });
}

void frmLoadDir::Drive1_Change() {
    failureReported_ |=
        !BRAMLOTTE_TRAP(desktopReporter(), "Drive1_Change", kModule, [&](support::ErrorTrap& trap) {
            BRAMLOTTE_LINE(trap);
            const QString drive = Drive1->currentText();
            // The process's current folder when it lies on that drive, else its root.
            const QString current = QDir::currentPath();
            Dir1->setPath(QStorageInfo(current).rootPath() == drive ? current : drive);
        });
}

void frmLoadDir::Dir1_Change() {
    failureReported_ |=
        !BRAMLOTTE_TRAP(desktopReporter(), "Dir1_Change", kModule, [&](support::ErrorTrap& trap) {
            BRAMLOTTE_LINE(trap);
            listFiles();
        });
}

void frmLoadDir::listFiles() {
    File1->clear();
    const QStringList pattern =
        kind_ == Kind::Table ? QStringList() : QStringList{QStringLiteral("*.txt")};
    File1->addItems(QDir(Dir1->path()).entryList(pattern, QDir::Files, QDir::Name));
}

// Clicking a file only shows it: the name box keeps what the user typed.
void frmLoadDir::File1_Click() {
    failureReported_ |=
        !BRAMLOTTE_TRAP(desktopReporter(), "File1_Click", kModule, [](support::ErrorTrap&) {});
}

void frmLoadDir::File1_DblClick() {
    failureReported_ |=
        !BRAMLOTTE_TRAP(desktopReporter(), "File1_DblClick", kModule, [](support::ErrorTrap&) {});
}

void frmLoadDir::Option1_Click() {
    lblExt->setText(QStringLiteral(".csv"));
}

void frmLoadDir::Option2_Click() {
    lblExt->setText(QStringLiteral(".txt"));
}

void frmLoadDir::btnSave_Click() {
    failureReported_ |=
        !BRAMLOTTE_TRAP(desktopReporter(), "btnSave_Click", kModule, [&](support::ErrorTrap& trap) {
            BRAMLOTTE_LINE(trap);
            const bool table = kind_ == Kind::Table;
            BRAMLOTTE_LINE(trap);
            SaveTarget chosen =
                TargetForName(table ? SaveKind::Table : SaveKind::TextFile, Dir1->path(),
                              Text1->text(), table && !Option1->isChecked());
            BRAMLOTTE_LINE(trap);
            if (!MayReplace(chosen.path, ui(), desktopReporter())) {
                return;
            }
            target_ = std::move(chosen);
            BRAMLOTTE_LINE(trap);
            accept();
        });
}

void frmLoadDir::btnCancel_Click() {
    failureReported_ |= !BRAMLOTTE_TRAP(desktopReporter(), "btnCancel_Click", kModule,
                                        [&](support::ErrorTrap& trap) {
                                            BRAMLOTTE_LINE(trap);
                                            reject();
                                        });
}

}  // namespace bramlotte::exporting
