#include "tools/fwxpack/QvFwxPack.h"

#include "framework/CvFormat.h"
#include "framework/CvFoundation.h"

#include <pugixml.hpp>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

uint32_t TQvFwxPack::Checksum(const std::vector<uint8_t>& image)
{
    return TCvCrc::Crc32(image);
}

bool TQvFwxPack::Build(const std::vector<uint8_t>& image, const TQvFwxPackOptions& o, std::string& xml,
                       std::string& error)
{
    if (image.empty()) {
        error = "the image is empty";
        return false;
    }
    if (o.BlockSize == 0) {
        error = "the block size must be at least 1";
        return false;
    }
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node firmware = doc.append_child("Firmware");
    firmware.append_child("Config");
    pugi::xml_node target = firmware.append_child("Targets").append_child("Target");

    auto attr = [&target](const char* name, const std::string& value) {
        target.append_attribute(name) = value.c_str();
    };
    auto number = [&attr](const char* name, int64_t value) { attr(name, CvFormat("%d", static_cast<long long>(value))); };
    number("Device", o.Device);
    attr("Name", o.Name);
    attr("Timestamp", o.Timestamp);
    number("Section", o.Section);
    if (o.PartNumber)
        number("PartNumber", *o.PartNumber);
    if (o.PartRevMin)
        number("PartRevMin", *o.PartRevMin);
    if (o.PartRevMax)
        number("PartRevMax", *o.PartRevMax);
    if (o.SerialNumber)
        number("SerialNumber", *o.SerialNumber);
    number("DataFormat", o.DataFormat);
    number("Length", o.Length ? *o.Length : static_cast<uint32_t>(image.size()));
    attr("Checksum", TCvConvert::IntToHex(o.Checksum ? *o.Checksum : Checksum(image), 8));
    if (!o.Signature.empty())
        attr("Signature", TCvConvert::BytesToHex(o.Signature));

    int block = 0;
    for (size_t pos = 0; pos < image.size(); pos += o.BlockSize, ++block) {
        const size_t n = std::min<size_t>(o.BlockSize, image.size() - pos);
        pugi::xml_node data = target.append_child("Data");
        data.append_attribute("Block") = block;
        data.append_attribute("Length") = static_cast<unsigned long long>(n);
        data.text().set(TCvConvert::BytesToHex(image.data() + pos, n).c_str());
    }
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    xml = out.str();
    return true;
}

bool TQvFwxPack::WriteFile(const std::string& path, const std::vector<uint8_t>& image,
                           const TQvFwxPackOptions& options, std::string& error)
{
    std::string xml;
    if (!Build(image, options, xml, error))
        return false;
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << xml;
        out.flush();
        if (!out) {
            error = CvFormat("cannot write \"%s\"", temp);
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = CvFormat("cannot replace \"%s\"", path);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool TQvFwxPack::ReadImage(const std::string& path, std::vector<uint8_t>& image, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = CvFormat("cannot open the image \"%s\"", path);
        return false;
    }
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = CvFormat("cannot read the image \"%s\"", path);
        return false;
    }
    return true;
}
