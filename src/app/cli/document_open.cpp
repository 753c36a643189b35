#include "cli/document_open.h"

namespace vt::cli {

std::unique_ptr<TOpenedFile> OpenDocument(const std::string& file, const TSourceOptions& options) {
  auto opened = std::make_unique<TOpenedFile>();
  std::string error;
  TvtItem* item = OpenItem(opened->Source, file, options, error);
  if (item == nullptr || item->Stream == nullptr) {
    // The message without the file name: the caller names the file.
    const std::string prefix = file + ": ";
    throw EFileError(error.rfind(prefix, 0) == 0 ? error.substr(prefix.size()) : "Invalid image.");
  }
  item->Stream->SetPosition(static_cast<int64_t>(item->Offset));
  opened->Document->FileName = file;
  opened->Document->Load(item->HeaderStream, item->Stream, false, item);
  return opened;
}

TBitmap32* ChooseBackground(TvtThumbSource& doc, const std::string& choice) {
  if (choice == "none") {
    doc.SetMainThumb(-1);
    return nullptr;
  }
  if (choice != "auto") {
    const int index = std::stoi(choice);
    if (index < 0 || index >= doc.ThumbCount())
      throw EFileError("there is no thumbnail " + choice + " (the file has " + std::to_string(doc.ThumbCount()) + ")");
    doc.SetMainThumb(index);
  }
  return doc.GetThumbBackground();
}

std::unique_ptr<TBitmap32> ComposeWithBackground(const std::string& file, const std::string& choice,
                                                 const TSourceOptions& options) {
  auto opened = OpenDocument(file, options);
  TvtThumbSource& doc = *opened->Document;
  if (!doc.HasImage()) throw EFileError("no image could be decoded");
  const TBitmap32* background = ChooseBackground(doc, choice);
  auto result = std::make_unique<TBitmap32>(doc.MainImage()->Width(), doc.MainImage()->Height());
  if (background != nullptr) {
    result->Assign(*background);
    result->DrawMode = dmOpaque;
  } else {
    result->Clear(0);
  }
  TBitmap32& image = *doc.MainImage();
  image.DrawMode = dmBlend;
  image.DrawTo(*result, 0, 0);
  return result;
}

std::string CheckThumbChoice(const std::string& value) {
  if (value == "auto" || value == "none") return {};
  if (!value.empty() && value.size() < 6 && value.find_first_not_of("0123456789") == std::string::npos) return {};
  return "expected auto, none or a thumbnail index";
}

}  // namespace vt::cli
