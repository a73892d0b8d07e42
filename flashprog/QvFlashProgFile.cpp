#include "flashprog/QvFlashProgFile.h"

#include "flashprog/QvFlashProgLog.h"
#include "framework/CvFoundation.h"
#include "framework/CvText.h"
#include "protocol/QvCmdSys.h"

#include <pugixml.hpp>

#include <filesystem>

namespace {

std::string Attr(const pugi::xml_node& node, const char* name)
{
    // A node without attributes (a comment, text) reads as a missing attribute: empty text.
    return node.attribute(name).value();
}

int32_t AttrInt(const pugi::xml_node& node, const char* name, int32_t def)
{
    return CvStrToIntDef(Attr(node, name), def);
}

// The element's text content: every text and CDATA section below it, in document order.
std::string ElementText(const pugi::xml_node& node)
{
    std::string text;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        switch (child.type()) {
        case pugi::node_pcdata:
        case pugi::node_cdata:
            text += child.value();
            break;
        case pugi::node_element:
            text += ElementText(child);
            break;
        default:
            break;
        }
    }
    return text;
}

size_t ChildCount(const pugi::xml_node& node)
{
    size_t count = 0;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        ++count;
    return count;
}

bool Fail(TCvLogSink* log, const char* message)
{
    QvFlashProgLog(log, logError, std::string(message));
    return false;
}

} // namespace

void TQvFlashProgTarget::Release()
{
    Name.clear();
    Timestamp.clear();
    Signature.clear();
    Block.clear();
    Block.shrink_to_fit();
}

bool TQvFlashProgFile::CheckFile(const std::string& filename, TCvLogSink* log)
{
    std::error_code ec;
    const bool exists = !filename.empty() && std::filesystem::exists(filename, ec)
        && !std::filesystem::is_directory(filename, ec);
    if (!exists)
        QvFlashProgLog(log, logError, "Cannot find the firmware file \"%s\".", filename);
    return exists;
}

pugi::xml_node TQvFlashProgFile::FindTarget(const pugi::xml_node& targets, int32_t device)
{
    for (pugi::xml_node child = targets.first_child(); child; child = child.next_sibling()) {
        if (AttrInt(child, "Device", -1) == device)
            return child;
    }
    return pugi::xml_node();
}

bool TQvFlashProgFile::ReadTarget(const pugi::xml_node& node, TQvFlashProgTarget& target, TCvLogSink* log)
{
    target.Device = AttrInt(node, "Device", -1);
    target.Name = Attr(node, "Name");
    target.Timestamp = Attr(node, "Timestamp");
    target.Section = AttrInt(node, "Section", -1);
    target.PartNumber = static_cast<uint32_t>(AttrInt(node, "PartNumber", 0));
    target.PartRevisionMin = static_cast<uint8_t>(AttrInt(node, "PartRevMin", 0));
    target.PartRevisionMax = static_cast<uint8_t>(AttrInt(node, "PartRevMax", 0));
    target.SerialNumber = static_cast<uint32_t>(AttrInt(node, "SerialNumber", 0));
    target.DataFormat = static_cast<uint8_t>(AttrInt(node, "DataFormat", 0));
    target.Length = static_cast<uint32_t>(AttrInt(node, "Length", 0));
    target.Checksum = static_cast<uint32_t>(TCvConvert::HexToIntDef(Attr(node, "Checksum"), 0));
    const bool signatureOk = TCvConvert::HexToBytes(Attr(node, "Signature"), target.Signature);

    if (!signatureOk)
        return Fail(log, "Invalid or missing \"Signature\" value.");
    if (target.Device < 0)
        return Fail(log, "Invalid or missing \"Device\" value.");
    if (target.Section < 0)
        return Fail(log, "Invalid or missing \"Section\" value.");
    if (target.Checksum == 0)
        return Fail(log, "Invalid or missing \"Checksum\" value.");
    if (target.Length == 0)
        return Fail(log, "Invalid or missing \"Length\" value.");
    const size_t children = ChildCount(node);
    if (children == 0)
        return Fail(log, "No target \"Data\" is available.");

    target.Block.resize(children);
    size_t n = 0;
    int64_t total = 0;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || std::string_view(child.name()) != "Data")
            continue;
        TQvFlashProgBlock& block = target.Block[n];
        block.Block = AttrInt(child, "Block", -1);
        if (block.Block == -1) {
            QvFlashProgLog(log, logError, "Invalid or missing data \"Block\" attribute.");
        } else if (static_cast<size_t>(block.Block) != n) {
            QvFlashProgLog(log, logError, "Non-sequential data \"Block\" attribute.");
            break;
        }
        block.Length = AttrInt(child, "Length", -1);
        if (block.Length == -1) {
            QvFlashProgLog(log, logError, "Invalid or missing data \"Length\" attribute in Block %u.", block.Block);
            break;
        }
        if (!TCvConvert::HexToBytes(ElementText(child), block.Data)) {
            QvFlashProgLog(log, logError, "Invalid data in Block %u.", block.Block);
            break;
        }
        if (block.Length < 0 || block.Data.size() != static_cast<size_t>(block.Length)) {
            QvFlashProgLog(log, logError, "Insufficiant data in Block %u.", block.Block);
            break;
        }
        // A block travels in one PROG_BLOCK whose length field has 16 bits: a longer one would
        // reach the beacon corrupted, so the whole package is refused here.
        if (static_cast<size_t>(block.Length) > TQvCmdMsgTxProgBlock::MaxDataLength) {
            QvFlashProgLog(log, logError, "Data Block %u is too long (%u bytes, at most %u bytes per block).",
                           block.Block, block.Length, static_cast<uint32_t>(TQvCmdMsgTxProgBlock::MaxDataLength));
            target.Block.resize(n);
            return false;
        }
        total += block.Length;
        ++n;
    }
    target.Block.resize(n);

    if (total == static_cast<int64_t>(target.Length))
        return true;
    QvFlashProgLog(log, logError, "Data length mismatch, read %u bytes, expected %u bytes.", static_cast<uint32_t>(total),
                   target.Length);
    return false;
}

EQvFlashProgReturn TQvFlashProgFile::Load(const std::string& filename, TQvFlashProgTarget& target,
                                          TCvLogSink* log)
{
    pugi::xml_document doc;
    if (!doc.load_file(filename.c_str(), pugi::parse_default | pugi::parse_comments)) {
        QvFlashProgLog(log, logError, "Cannot parse the XML firmware file.");
        return FP_ERR_FILEFORMAT;
    }
    const pugi::xml_node firmware = doc.child("Firmware");
    if (!firmware) {
        QvFlashProgLog(log, logError, "Cannot find the \"Firmware\" XML node.");
        return FP_ERR_FILEFORMAT;
    }
    if (!firmware.child("Config")) {
        QvFlashProgLog(log, logError, "Cannot find the \"Config\" XML node.");
        return FP_ERR_FILEFORMAT;
    }
    const pugi::xml_node targets = firmware.child("Targets");
    if (!targets) {
        QvFlashProgLog(log, logError, "Cannot find the \"Targets\" XML node.");
        return FP_ERR_FILEFORMAT;
    }
    const pugi::xml_node node = FindTarget(targets, 0);
    if (!node) {
        QvFlashProgLog(log, logError, "Cannot find firmware for target device %u.", 0u);
        return FP_ERR_TARGET;
    }
    target.Release();
    if (!ReadTarget(node, target, log))
        return FP_ERR_TARGETDATA;

    LogSummary(target, log);
    return FP_OK;
}

void TQvFlashProgFile::LogSummary(const TQvFlashProgTarget& target, TCvLogSink* log)
{
    QvFlashProgLog(log, logInfo, "Firmware sucessfully loaded...");
    QvFlashProgLog(log, logInfo, "Target = Device %u, Section %u", target.Device, target.Section);
    QvFlashProgLog(log, logInfo, "Name = \"%s\"", target.Name);
    QvFlashProgLog(log, logInfo, "Timestamp = %s", target.Timestamp);
    QvFlashProgLog(log, logInfo, "DataFormat = %u", target.DataFormat);
    QvFlashProgLog(log, logInfo, "Length = %u bytes (in %u blocks)", target.Length,
                   static_cast<uint32_t>(target.Block.size()));
    QvFlashProgLog(log, logInfo, "Checksum = 0x%.8x", target.Checksum);
    // Shown as the unsigned value the record holds, also above 2^31.
    if (target.PartNumber != 0)
        QvFlashProgLog(log, logInfo, "Part Number = %.5d", static_cast<int64_t>(target.PartNumber));
    if (target.SerialNumber != 0)
        QvFlashProgLog(log, logInfo, "Serial Number = %.6d", static_cast<int64_t>(target.SerialNumber));
    QvFlashProgLog(log, logInfo, "Signature = 0x%s", TCvConvert::BytesToHex(target.Signature));
}
