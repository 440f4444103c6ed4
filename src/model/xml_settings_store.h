// A small key-value store over one XML file: groups are children of the root
// element, keys are children of their group, a scalar is the key's "value"
// attribute and a list is the key's "item" children. Every XML file the tool
// keeps (settings, mapping templates, companion and characterization files) goes
// through it.
//
// The file is read through ReadXmlDocument (model/xml_document.h): a file
// nested too deep or declaring entities counts as one that does not parse.
// Only a regular file (or a link to one) is opened: opening a named pipe
// would wait for a writer for ever. A file larger than kLargestXmlFile is not
// read at all. Either leaves the store empty, like a file that does not parse.
//
// A store lives for one task: it reads the file when made and writes it back
// once, when destroyed, if any set operation ran on it. It reads under the
// lock saves of its folder take (SaveLock), so that it never reads half of
// one; where another save holds that lock past its bound, the file is not
// read (kUnreadable, saying why) and the store does not write it.
#ifndef SKW_MODEL_XML_SETTINGS_STORE_H
#define SKW_MODEL_XML_SETTINGS_STORE_H

#include <QDomElement>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

class QByteArray;
class QDomDocument;

// One entry of a list whose items carry a key, a value and a flag attribute.
struct FlaggedPair {
    QString key;
    QString value;
    bool flag = false;
};

class XmlSettingsStore {
public:
    using StringList = std::vector<QString>;
    using PairList = std::vector<std::pair<QString, QString>>;
    using FlaggedPairList = std::vector<FlaggedPair>;

    // How reading the file went.
    enum class ReadState {
        kRead,        // the file was read (it may still have been empty)
        kMissing,     // there is no file at the path
        kNotAFile,    // a folder, a pipe, a socket or a device
        kTooLarge,    // larger than kLargestXmlFile
        kUnreadable,  // it could not be opened or read
        kDamaged,     // it does not parse, or was refused
    };

    explicit XmlSettingsStore(const QString& path);
    // The file a store on `path` reads and saves: a link's target (links are
    // read and saved through), the path itself otherwise. Its folder is the
    // one whose save lock the store takes.
    static QString FileBehind(const QString& path);
    ~XmlSettingsStore();
    XmlSettingsStore(const XmlSettingsStore&) = delete;
    XmlSettingsStore& operator=(const XmlSettingsStore&) = delete;

    // A new element of the document, named with every space made "_".
    QDomElement MakeElement(const QString& name);
    // The group element (the root for the empty name); null when absent and
    // not created.
    QDomElement FindGroup(const QString& group, bool create);
    // The key element inside its group; null when absent and not created.
    QDomElement FindKey(const QString& group, const QString& key, bool create);

    // The key's "value" attribute: the default when the key is absent, the empty
    // text when the key is there without the attribute.
    QString GetValue(const QString& group, const QString& key, const QString& defaultValue);
    QString GetValue(const QString& key, const QString& defaultValue);
    void SetValue(const QString& group, const QString& key, const QString& value);
    void SetValue(const QString& key, const QString& value);

    // The list readers append to the output and never clear it; an absent key
    // leaves it as it is. The setters replace the whole list, which moves the
    // key to the end of its group.
    void GetList(const QString& group, const QString& key, StringList& out);
    void GetList(const QString& key, StringList& out);
    void SetList(const QString& group, const QString& key, const StringList& list);
    void SetList(const QString& key, const StringList& list);

    // "key" and "value" attributes per item.
    void GetPairList(const QString& group, const QString& key, PairList& out);
    void GetPairList(const QString& key, PairList& out);
    void SetPairList(const QString& group, const QString& key, const PairList& list);
    void SetPairList(const QString& key, const PairList& list);

    // "key", "value" and the flag attribute, which is written ("true" or
    // "false") only where the entry's flag differs from the default.
    void GetFlaggedPairList(const QString& group, const QString& key, const QString& flagAttribute, bool defaultFlag,
                            FlaggedPairList& out);
    void GetFlaggedPairList(const QString& key, const QString& flagAttribute, bool defaultFlag, FlaggedPairList& out);
    void SetFlaggedPairList(const QString& group, const QString& key, const QString& flagAttribute, bool defaultFlag,
                            const FlaggedPairList& list);
    void SetFlaggedPairList(const QString& key, const QString& flagAttribute, bool defaultFlag,
                            const FlaggedPairList& list);

    ReadState GetReadState() const { return readState_; }
    // Whether the file was there and read, but held no element at all (blank,
    // or a declaration and comments only): nothing in it is lost when it is
    // replaced.
    bool HeldNoElement() const { return heldNoElement_; }
    // Why the file's content could not be taken, as a sentence that names the
    // file ("hero.bones.xml is a folder, not a file."); empty for kRead and
    // kMissing.
    const QString& GetReadProblem() const { return readProblem_; }
    // When the file was read but bytes of it were not valid in its encoding
    // (read as U+FFFD), a sentence that says how many and where the first
    // one is; otherwise empty.
    const QString& GetReadWarning() const { return readWarning_; }
    // What a read had to do first or could not, as sentences for the user:
    // an earlier save of the file that was put right, or one whose journal
    // was left alone and the file read as it stands. Empty otherwise.
    const QString& GetReadNotice() const { return readNotice_; }
    // Why the file was not read although it is there: another save of its
    // folder held it past the wait, an earlier save of it that could not be
    // put right, or a first save of it stopped before it was written whole
    // (read by a user who may not change its folder). Such a file is neither
    // replaced nor kept aside. Empty otherwise.
    const QString& GetUnread() const { return busy_; }
    // After a write that kept the former file aside because it could not be
    // read, a sentence that names the copy ("The former hero.xml could not be
    // read; it is kept as hero.xml.damaged."); otherwise empty.
    const QString& GetWriteNotice() const { return writeNotice_; }
    // After a failed write, why, as a sentence that names the file; empty
    // otherwise.
    const QString& GetWriteProblem() const { return writeProblem_; }

    // Forgets what was read from the file: the document becomes an empty
    // "config_root" and counts as changed, so the next write replaces the
    // whole file. For files that are written whole each time (templates and
    // characterization files), so that no entry of an earlier save is left
    // behind. A file that could not be read is still kept aside by that write.
    void Reset();
    // Writes the file now when anything was set since it was read or last
    // written, and answers whether the file holds the document afterwards
    // (true when there was nothing to write). A failed write leaves the file
    // as it was and is not tried again by the destructor.
    //
    // A file that did not parse is never written over: the first write moves
    // it aside under a name of its own ("NAME.xml.damaged", "NAME(1).xml.damaged",
    // ...: see KeptAside), says so on standard output and in GetWriteNotice,
    // then writes; when it cannot be kept, nothing is written. An empty file, or one
    // without a root element, holds nothing to keep and is simply written.
    //
    // Nothing is written that the store's reader would not read back: a text
    // holding a character an XML file cannot hold (an escape character in a
    // folder name, say), or a document larger than kLargestXmlFile, is
    // refused, with the reason in GetWriteProblem, and the file is left as
    // it was.
    //
    // Unless the store was Reset (a file written whole), only the keys set
    // through it are written: the file is read again under the save's lock
    // and those keys are set in what it holds then, so that a key another
    // store (another process) set since this one read the file is kept.
    //
    // The file is saved as every file of the tool is (model/safe_save.h):
    // under its folder's lock, written beside its target with the target's
    // owner, group, mode, access control list and attributes and renamed
    // over it once complete, or rewritten in place where a new file could
    // not carry them (another user's file in a shared folder) or the folder
    // lets no file be made, its former bytes first copied to disk beside it
    // where the folder allows; a failed rewrite puts the former bytes back.
    // A write stopped before it ended is undone or finished by the next read
    // or write of the file, as its journal says. A
    // link is written through: the file it leads to is saved. A file too
    // large or unreadable is kept aside like a damaged one; a path that is
    // not a file (a folder, a pipe) is never written.
    bool Write();

    // The document's text as Write would put it in the file, for a caller
    // that writes and commits it together with other files. The store then
    // counts as written, also when this fails (the destructor does not
    // write). False, with the reason in GetWriteProblem, for a store on a
    // file that could not be read, or a document the reader would not read
    // back (as for Write).
    bool WriteInto(QByteArray& text);

private:
    // Reads the file; `quiet`, says nothing on the console.
    XmlSettingsStore(const QString& path, bool quiet);
    QDomElement Root() const;
    // Finds the group (created when needed) and puts a fresh, empty key element
    // of that name at its end, in place of the first old one.
    QDomElement ReplaceKey(const QString& group, const QString& key);
    bool Save();
    // Under the save's lock: reads the file as it stands and sets in it the
    // keys set here (setKeys_), which becomes the document, serialized into
    // `text`. A file that cannot be read now leaves the document as it is,
    // to be kept aside (damaged_); false, with writeProblem_ set, where
    // nothing may be written.
    bool TakeInFileAsItStands(QByteArray& text);
    // The document's text as the file would hold it; false, with
    // writeProblem_ set, when the reader would not read it back.
    bool Serialize(QByteArray& text);

    std::unique_ptr<QDomDocument> document_;
    bool dirty_ = false;
    QString path_;
    // Set when the file was there but did not parse (or was refused): it is
    // then not replaced by the little that could be read from it, but moved
    // aside on the first write.
    bool damaged_ = false;
    // Why the file was not read (GetUnread): nothing is known of it, so it
    // is neither replaced nor moved aside as unreadable.
    QString busy_;
    // The key elements set since the file was read, in order, each with
    // whether it was replaced whole (a list) or its value set; Write sets
    // them again in the file as it stands then. Not kept once the store is
    // Reset: the whole document is written then.
    struct SetKey {
        QDomElement group;  // the root for the root group
        QDomElement element;
        bool list;
    };
    std::vector<SetKey> setKeys_;
    bool whole_ = false;
    QString readNotice_;
    ReadState readState_ = ReadState::kMissing;
    bool heldNoElement_ = false;
    QString readProblem_;
    QString readWarning_;
    QString writeNotice_;
    QString writeProblem_;
};

#endif
