#include "cli/document_open.h"

#include "source/open_failure.h"
#include "thumbs/jpeg_with_thumbs.h"

namespace vt::cli {

std::unique_ptr<TOpenedFile> OpenFilePicture(const std::string& file, const TSourceOptions& options, TvtRender render) {
  auto opened = std::make_unique<TOpenedFile>();
  const TvtOpenOptions open = options.ForOpen(file, render);
  opened->Repair = open.Repair;
  opened->Opened = OpenPicture(opened->Source, file, open);
  PrintOpenNotes(file, opened->Opened.Found);
  if (opened->Opened.Picture() == nullptr)
    throw EFileError(opened->Opened.Error.empty() ? kInvalidImage : opened->Opened.Error);
  return opened;
}

TvtThumbSource& LoadDocument(TOpenedFile& opened, const std::string& file) {
  opened.Document = std::make_unique<TvtThumbSource>();
  opened.Document->FileName = file;
  LoadItem(*opened.Document, *opened.Opened.Item, opened.Repair);
  return *opened.Document;
}

std::unique_ptr<TOpenedFile> OpenFileDocument(const std::string& file, const TSourceOptions& options) {
  auto opened = OpenFilePicture(file, options, TvtRender::Planes);
  LoadDocument(*opened, file);
  return opened;
}

TkelTrailer PictureTrailer(const TOpenedFile& opened) {
  const TvtItem* item = opened.Opened.Item;
  if (opened.Document) return opened.Document->Trailer();
  const TkelJpegWithThumbs* picture = opened.Opened.Picture();
  if (item == nullptr || picture == nullptr || item->HeaderStream != nullptr) return {};
  return TrailerOf(*picture, *item->Stream, static_cast<int64_t>(item->TrailerEnd));
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
  auto opened = OpenFileDocument(file, options);
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
