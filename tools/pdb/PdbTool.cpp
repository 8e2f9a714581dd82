#include "pdb/PdbTool.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <CLI/CLI.hpp>

#include "common/FileIo.h"
#include "pdb/BlockFields.h"
#include "pdb/BlockJson.h"
#include "pdb/BlockTable.h"

namespace korax::tools::pdb {

namespace {

constexpr int Done = 0;
constexpr int Refused = 1;
constexpr int BadCommandLine = 2;

std::unique_ptr<DevicePDB> ReadBlock(const std::string& path) {
    std::string error;
    const auto bytes = ReadFileBytes(path, error);
    if (!bytes) throw BlockError(error);
    if (bytes->size() != sizeof(DevicePDB)) {
        throw BlockError(path + ": " + std::to_string(bytes->size()) + " bytes; a parameter block has " +
                         std::to_string(sizeof(DevicePDB)));
    }
    auto block = std::make_unique<DevicePDB>();
    std::memcpy(block.get(), bytes->data(), sizeof(DevicePDB));
    return block;
}

void WriteBlock(const std::string& path, const DevicePDB& block) {
    std::string error;
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(&block), sizeof block);
    if (!WriteWholeFile(path, bytes, error)) throw BlockError(error);
}

void WriteText(const std::string& path, const std::string& text) {
    std::string error;
    if (!WriteWholeFile(path, text, error)) throw BlockError(error);
}

} // namespace

int RunPdbTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    CLI::App app{"Creates, shows, converts and edits device parameter blocks of the korax24 driver.\n"
                 "Commands that write replace the target file whole, or leave it untouched on any error.",
                 "korax-pdb"};
    app.require_subcommand(1);

    std::string file;
    std::string output;
    std::string templateFile;
    bool force = false;
    bool raw = false;
    std::optional<int> slot;
    std::vector<std::string> assignments;

    CLI::App* create = app.add_subcommand("create", "write a block with the factory defaults (FullPDB)");
    create->add_option("file", file, "block file to write")->required();
    create->add_flag("--force", force, "replace an existing file");

    CLI::App* show = app.add_subcommand("show", "show a block as tables");
    show->add_option("file", file, "block file")->required();

    CLI::App* toJson = app.add_subcommand("to-json", "convert a block to JSON");
    toJson->add_option("file", file, "block file")->required();
    toJson->add_option("-o,--output", output, "JSON file to write (standard output when omitted)");

    CLI::App* fromJson = app.add_subcommand("from-json", "convert JSON to a block");
    fromJson->add_option("json", file, "JSON file")->required();
    fromJson->add_option("-o,--output", output, "block file to write")->required();
    fromJson->add_option("--template", templateFile,
                         "block whose bytes outside the defined fields are kept (zero without one)");
    fromJson->add_flag("--raw", raw, "take any value a field can hold, not only what the wizard offers");

    CLI::App* set = app.add_subcommand("set", "set fields of a block: KEY=VALUE ...\n" + FieldKeysHelp());
    set->add_option("file", file, "block file to change")->required();
    set->add_option("--slot", slot, "board slot 0..31 the fields belong to");
    set->add_option("assignments", assignments, "KEY=VALUE")->required();

    try {
        // The library takes the arguments after the program's name, last first.
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        if (!reversed.empty()) reversed.pop_back();
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err);
        return code == 0 ? Done : BadCommandLine;
    }

    try {
        if (create->parsed()) {
            if (FileExists(file) && !force) throw BlockError(file + " exists; --force replaces it");
            auto block = std::make_unique<DevicePDB>();
            std::memset(block.get(), 0, sizeof(DevicePDB));
            config::FillDefaultPDB(*block);
            WriteBlock(file, *block);
            const config::BoardEntry& first = block->Boards[0];
            char base[16];
            std::snprintf(base, sizeof base, "0x%X", static_cast<unsigned>(first.BaseAddress));
            out << "wrote " << file << ": factory defaults, one "
                << config::ShortStringText(first.DevName, config::DevNameSize) << " at " << base
                << " in slot 0\n";
        } else if (show->parsed()) {
            out << "parameter block " << file << "\n" << BlockTable(*ReadBlock(file));
        } else if (toJson->parsed()) {
            const std::string text = BlockToJson(*ReadBlock(file));
            if (output.empty()) {
                out << text;
            } else {
                WriteText(output, text);
                out << "wrote " << output << "\n";
            }
        } else if (fromJson->parsed()) {
            std::string error;
            const auto text = ReadTextFile(file, error);
            if (!text) throw BlockError(error);
            std::unique_ptr<DevicePDB> block;
            if (templateFile.empty()) {
                block = std::make_unique<DevicePDB>();
                std::memset(block.get(), 0, sizeof(DevicePDB));
            } else {
                block = ReadBlock(templateFile);
            }
            try {
                BlockFromJson(*text, *block, raw);
            } catch (const BlockError& problem) {
                throw BlockError(file + ": " + problem.what());
            }
            WriteBlock(output, *block);
            out << "wrote " << output << "\n";
        } else if (set->parsed()) {
            auto block = ReadBlock(file);
            // Every assignment must pass before anything is written.
            for (const std::string& assignment : assignments) SetField(*block, slot, assignment);
            WriteBlock(file, *block);
            out << "updated " << file << "\n";
        }
    } catch (const BlockError& error) {
        err << "korax-pdb: error: " << error.what() << "\n";
        return Refused;
    }
    return Done;
}

} // namespace korax::tools::pdb
