#include "services/config_properties.h"

#include <filesystem>

#include "services/log.h"
#include "services/log_text.h"
#include "services/utf8_text.h"
#include "services/xml_guard.h"

namespace
{
enum class FileRead
{
    read,
    notRegular,
    tooLarge,
    unreadable
};

// The whole file, when what is at the path is a regular file of at most maxBytes bytes: a FIFO
// would block the open for good, a device could be read without end.
FileRead read_regular_file(const juce::File& file, int maxBytes, juce::MemoryBlock& bytes)
{
    std::error_code error;
    const auto path = std::filesystem::u8path(file.getFullPathName().toStdString());
    const auto status = std::filesystem::status(path, error);
    if (error)
        return FileRead::unreadable;
    if (! std::filesystem::is_regular_file(status))
        return FileRead::notRegular;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        return FileRead::unreadable;
    if (size > (std::uintmax_t) maxBytes)
        return FileRead::tooLarge;

    juce::FileInputStream in(file);
    if (! in.openedOk())
        return FileRead::unreadable;
    // One byte more than allowed tells a file that grew since.
    in.readIntoMemoryBlock(bytes, maxBytes + 1);
    return bytes.getSize() > (size_t) maxBytes ? FileRead::tooLarge : FileRead::read;
}

void log_ignored(const juce::File& file, const juce::String& why)
{
    log_error("Ignored config file " + shown_in_log(file.getFullPathName()).quoted() + ": " + why);
}
} // namespace

ConfigProperties::ConfigProperties(const juce::File& configFile) : file(configFile) {}

ConfigProperties::~ConfigProperties()
{
    save_if_needed();
}

void ConfigProperties::reload()
{
    juce::StringArray fileKeys, fileValues;
    if (! load(fileKeys, fileValues))
        return;

    const juce::ScopedLock sl(lock);
    for (int i = 0; i < fileKeys.size(); ++i)
        put(fileKeys[i], fileValues[i]);
}

bool ConfigProperties::load(juce::StringArray& fileKeys, juce::StringArray& fileValues)
{
    if (file.isDirectory())
        return false;

    juce::MemoryBlock bytes;
    switch (read_regular_file(file, max_file_bytes, bytes))
    {
        case FileRead::read: break;
        case FileRead::notRegular: log_ignored(file, "it is not a regular file"); return false;
        case FileRead::tooLarge: log_ignored(file, "it is larger than " + juce::String(max_file_bytes) + " bytes"); return false;
        case FileRead::unreadable: log_ignored(file, "it cannot be read"); return false;
    }

    const auto* start = static_cast<const char*>(bytes.getData());
    if (bytes.getSize() >= 4 && (memcmp(start, "PROP", 4) == 0 || memcmp(start, "CPRP", 4) == 0))
    {
        log_ignored(file, "it is in the binary properties format, not XML");
        return false;
    }

    // Bytes that are not UTF-8 are read as Windows-1252, as an editor may save the file.
    const auto text = text_from_bytes(start, bytes.getSize());
    if (const auto why = xml_refusal(text, max_nesting); why.isNotEmpty())
    {
        log_ignored(file, "it holds " + why);
        return false;
    }

    // Parsed from memory, so that nothing in the text can make the parser open a file.
    const auto root = juce::XmlDocument(text).getDocumentElement();
    if (root == nullptr || ! root->hasTagName("PROPERTIES"))
        return false;

    for (auto* entry : root->getChildWithTagNameIterator("VALUE"))
    {
        const auto name = entry->getStringAttribute("name");
        if (name.isEmpty())
            continue;

        // A value held as markup is kept as its text; a save turns it back into markup.
        const auto* markup = entry->getFirstChildElement();
        const auto value = markup != nullptr
                               ? markup->toString(juce::XmlElement::TextFormat().singleLine().withoutHeader())
                               : entry->getStringAttribute("val");

        // Each value is parsed again when the file is saved; one with an '&' that has no ';' is
        // saved as text instead (see save_if_needed), as the framework's failing parse saved it.
        if (const auto why = xml_refusal(value, max_nesting); why.isNotEmpty() && why != xml_unended_entity)
        {
            log_ignored(file, "the value of " + shown_in_log(name).quoted() + " holds " + why);
            return false;
        }
        fileKeys.add(name);
        fileValues.add(value);
    }
    return true;
}

void ConfigProperties::put(const juce::String& key, const juce::String& value)
{
    if (indexOfKey.contains(key))
    {
        values.set(indexOfKey[key], value);
        return;
    }
    indexOfKey.set(key, keys.size());
    keys.add(key);
    values.add(value);
}

juce::String ConfigProperties::get_value(const juce::String& key) const
{
    const juce::ScopedLock sl(lock);
    return indexOfKey.contains(key) ? values[indexOfKey[key]] : juce::String();
}

void ConfigProperties::set_value(const juce::String& key, const juce::String& value)
{
    const juce::ScopedLock sl(lock);
    if (key.isEmpty() || (indexOfKey.contains(key) && values[indexOfKey[key]] == value))
        return;
    put(key, value);
    needsWriting = true;
}

bool ConfigProperties::save_if_needed()
{
    const juce::ScopedLock sl(lock);
    if (! needsWriting)
        return true;
    if (file == juce::File() || file.isDirectory() || ! file.getParentDirectory().createDirectory())
        return false;

    juce::XmlElement doc("PROPERTIES");
    for (int i = 0; i < keys.size(); ++i)
    {
        auto* entry = doc.createNewChildElement("VALUE");
        entry->setAttribute("name", keys[i]);
        // A value that reads as markup is stored as markup, as the framework's properties files do;
        // one the parser would not read whole (or only slowly) is stored as text.
        auto markup = xml_refusal(values[i], max_nesting).isEmpty() ? juce::parseXML(values[i]) : nullptr;
        if (markup != nullptr)
            entry->addChildElement(markup.release());
        else
            entry->setAttribute("val", values[i]);
    }

    if (! doc.writeTo(file, {}))
        return false;
    needsWriting = false;
    return true;
}
