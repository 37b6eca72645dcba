#pragma once
// One full search record of each kind, as a device sends it, with the column keys that
// show all of it.

#include <string>
#include <vector>

namespace exporttest {

struct KindSample {
    std::vector<std::string> keys;
    const char* record;
};

const KindSample kFaceAttr{
    {"SnapLocation", "SnapTime", "Type", "Sex", "Emotion", "Age", "Mask", "Beard", "Glasses", "Similarity",
     "Academe", "ClassName", "StudentID", "DormName", "Post", "Department", "Name", "CertificateType", "IC",
     "Passport", "Military", "ID", "FaceDB", "TaskName", "FacePic", "FaceDBPic", "TargetPic", "VideoName"},
    R"({"channel": 3, "StartTime": "2020-05-01 08:00:00", "TaskID": 7, "FilePath": "/mnt/face/f1.jpg",
        "SummaryNew": [{"Key": "FaceRecognitionRecord", "Value": {
            "Sex": "", "Emotion": "Smile", "Age": 25, "Mask": 1,
            "Object": {"Sex": "1", "Beard": 2, "Emotion": "Calm"},
            "ImageInfo": {"FilePath": "/mnt/scene/s1.jpg"},
            "Candidates": [{"Similarity": 87.6, "Person": {
                "Name": "Li", "CertificateType": "IC", "ID": "3301", "GroupName": "Staff",
                "CustomStudentInfo": {"Academe": "Eng", "ClassName": "C1", "StudentID": "S9", "DormName": "D2"},
                "CustomProfessionInfo": {"Post": "Mgr", "Department": "Ops"},
                "Image": [{"FilePath": "/db/p1.jpg"}]}}]}}]})"};

const KindSample kFaceImageWithAttributes{
    {"SnapLocation", "SnapTime", "Type", "Similarity", "FaceDB", "Name", "Sex", "Emotion", "Age", "Mask", "Beard",
     "Glasses", "TaskName", "FacePic", "TargetPic"},
    R"({"channel": 3, "StartTime": "2020-05-01 08:00:00", "TaskID": 12, "similarity": 91, "GroupName": "VIP",
        "PersonName": "Wang", "FilePath": "/mnt/f2.jpg", "SceneFilePath": "/mnt/s2.jpg",
        "attrs": [{"name": "Gender", "originValue": "1"}, {"name": "Age", "originValue": 30},
                  {"name": "Expression", "originValue": "Smile"}, {"name": "Mask", "originValue": 1.7},
                  {"name": "Beard", "originValue": "2"}, {"name": "Mask", "originValue": 0}]})"};

const KindSample kFaceImage{
    {"SnapLocation", "SnapTime", "Type", "Sex", "Emotion", "Name", "Age", "Glasses", "Eye", "Mouth", "FaceDB",
     "Similarity", "TaskName", "FacePic", "TargetPic"},
    R"({"channel": 3, "Time": "2020-05-02 09:00:00", "StartTime": "2020-05-02 08:59:00", "TaskID": 5,
        "Similarity": 80, "Range": "Blacklist",
        "Person": {"Sex": "1", "Name": "Zhao", "Age": 17, "Glasses": 1, "Eye": 2,
                   "Image": [{"FilePath": "/mnt/p3.jpg"}]},
        "SceneImage": {"FilePath": "/mnt/s3.jpg"}})"};

const KindSample kHumanTrait{
    {"SnapLocation", "SnapTime", "Type", "Sex", "Age", "Emotion", "Glasses", "Mask", "Beard", "CoatType", "HasHat",
     "HasBag", "HasUmbrella", "TrousersType", "CoatColor", "TrousersColor", "TaskName", "FacePic", "FaceTargetPic",
     "HumanPic", "HumanTargetPic"},
    R"({"channel": 1, "StartTime": "2020-05-03 10:00:00", "TaskID": 9,
        "SummaryNew": {"Key": "HumanTrait", "Value": {
            "FaceAttributes": {"Sex": "2", "Age": 33, "Emotion": "Calm", "Glass": 1, "Glasses": 0, "Mask": 0,
                               "Beard": 1},
            "HumanAttributes": {"Sex": "1", "Age": 50, "CoatType": 1, "HasHat": 2, "Cap": 0, "HasBag": 2, "Bag": 3,
                                "CoatColor": "Red", "HasUmbrella": 1},
            "FacePath": "/p/f.jpg", "FaceScenePath": "/p/fs.jpg", "HumanPath": "/p/h.jpg",
            "HumanSceneImage": "/p/hs.jpg"}}})"};

const KindSample kIvs{
    {"SnapLocation", "SnapTime", "Type", "ObjectType", "Category", "ObjectPic", "TargetPic"},
    R"({"channel": 2, "StartTime": "2020-06-01 12:00:00", "FilePath": "/i/t.jpg",
        "Summary": [{"IVS": {"Rule": "CrossLine", "ObjectType": "vehicle", "Category": "Car",
                             "ImageInfo": {"FilePath": "/i/o.jpg"}}}]})"};

const KindSample kDeposit{
    {"SnapLocation", "SnapTime", "Type", "RegionName", "StackThreshold", "GridState", "TargetPic"},
    R"({"channel": 4, "StartTime": "2020-06-02 12:00:00",
        "SummaryNew": {"Key": "Deposit", "Value": {"RegionName": "Hall", "StackThreshold": 80.5, "GridState": 2,
                                                   "FilePath": "/d/t.jpg"}}})"};

const KindSample kMixedPlate{
    {"SnapLocation", "SnapTime", "Type", "ParkingNum", "PlateNumber", "ParkingSpaceStatus", "DrivingDirection",
     "PlatePic", "TargetPic"},
    R"({"channel": 5, "StartTime": "2020-06-03 12:00:00",
        "SummaryNew": [{"Key": "ParkingSpace", "Value": {
            "ParkingNum": "A-12", "PlateNumber": "ABC123", "ParkingSpaceStatus": 1, "DrivingDirection": 0,
            "PlateFilePath": "/m/p.jpg", "GlobalSceneFilePath": "/m/g.jpg"}}]})"};

const KindSample kNonMotor{
    {"SnapLocation", "SnapTime", "Type", "Occupancy", "Non-MotorVehicleColor", "Non-MotorVehicleType", "Helmet",
     "TaskName", "FacePic", "Non-MotorVehiclePic", "TargetPic"},
    R"({"channel": 6, "StartTime": "2020-07-01 07:00:00", "TaskID": 3, "FilePath": "/n/t.jpg",
        "SummaryNew": {"Key": "NonMotorDetect", "Value": {
            "NumOfCycling": 2, "Color": "Black", "Category": "Bicycle", "Helmet": 1,
            "FaceImageInfo": {"FilePath": "/n/f.jpg"}, "ImageInfo": {"FilePath": "/n/v.jpg"}}}})"};

const KindSample kVehicle{
    {"SnapLocation", "SnapTime", "Type", "PlateNumber", "Province", "Country", "PlateColor", "PlateType",
     "VehicleColor", "VehicleType", "Brand", "SafeBelt", "Calling", "Smoking", "SunShade", "SubBrand", "BrandYear",
     "Attachment", "VehicleDB", "VehicleDBType", "TaskName", "RefuelingPoint", "channelNo", "PlatePic",
     "VehiclePic", "TargetPic"},
    R"({"channel": 7, "Channel": 7, "StartTime": "2020-07-02 07:00:00", "TaskID": 4, "PlateFilePath": "/v/p.jpg",
        "FilePath": "/v/v.jpg",
        "SummaryNew": [{"Key": "TrafficJunction", "Value": {
            "PlateNumber": "\u4eacA12345", "Country": "CN", "PlateColor": 1, "PlateType": 2, "VehicleColor": 3,
            "Type": 4, "Brand": 5, "ImageInfo": {"FilePath": "/v/t.jpg"}}}],
        "Summary": {"TrafficCar": {
            "SafeBelt": "Fastened", "Calling": 1, "Smoking": 0, "SunShade": "Down", "SubBrand": 11,
            "BrandYear": 2019, "PlateColor": "Blue", "RegionName": "Pump 3",
            "Attachment": [{"Type": "Tissue"}, {"Type": "Pendant"}],
            "CandidateVehicle": {"DBName": "Watch", "GroupType": "Black"}}}})"};

const KindSample kTrafficCar{
    {"Type", "PlateNumber", "Province", "PlateColor", "VehicleType", "Brand", "Calling", "Attachment", "channelNo",
     "TaskName", "PlatePic", "VehiclePic", "TargetPic"},
    R"({"channel": 8, "StartTime": "2020-07-03 07:00:00", "FilePath": "/w/t.jpg",
        "Summary": {"TrafficCar": {"PlateNumber": "", "PlateColor": "Blue", "Category": "SUV",
                                   "VehicleSign": "Tesla", "Calling": 1,
                                   "PlateImageInfo": {"FilePath": "/w/p.jpg"},
                                   "ImageInfo": {"FilePath": "/w/v.jpg"}}}})"};

const KindSample kViolentThrow{
    {"SnapLocation", "SnapTime", "Type", "RegionName", "regionname", "TargetPic"},
    R"({"channel": 9, "StartTime": "2020-08-01 01:00:00",
        "SummaryNew": {"Key": "HighToss", "Value": {"RegionName": "Tower A", "GlobalSceneFilePath": "/t/g.jpg"}}})"};

const KindSample kCrowdDensity{
    {"Channel", "channel", "SnapLocation", "SnapTime", "Type", "TargetPic"},
    R"({"channel": 10, "StartTime": "2020-08-02 01:00:00", "FilePath": "/c/g.jpg"})"};

const KindSample kSmartKitchen{
    {"SnapLocation", "SnapTime", "Type", "Mask", "ChefHat", "ChefClothes", "RegionName", "FacePic",
     "HumanTargetPic", "TargetPic"},
    R"({"channel": 11, "StartTime": "2020-08-03 01:00:00",
        "SummaryNew": {"Key": "Kitchen", "Value": {
            "HasMask": 1, "HasChefHat": 0, "HasChefClothes": 2, "RegionName": "Hot line",
            "FaceImagePath": "/k/f.jpg", "HumanImagePath": "/k/h.jpg", "SceneImagePath": "/k/s.jpg"}}})"};

const KindSample kWorkOperation{
    {"SnapLocation", "SnapTime", "Type", "Helmet", "HumanPic", "TargetPic"},
    R"({"channel": 12, "StartTime": "2020-08-04 01:00:00",
        "SummaryNew": {"Key": "Helmet", "Value": {"Helmet": {"HasHelmet": 2, "HelmetColor": "Yellow"},
                                                  "HumanPath": "/o/h.jpg", "HumanSceneImage": "/o/s.jpg"}}})"};

const KindSample kCityManagement{
    {"ChannelName", "Event", "EventDate", "PlateNumber", "ShopAddress", "PresetID", "PresetName",
     "ViolationDuration", "OriginalPicPath", "MosaicPicPath", "OriginalPicPath1", "SnapTime"},
    R"({"channel": 13, "StartTime": "2020-09-01 06:30:00", "PlateNumber": "B777",
        "SummaryNew": {"Value": {
            "Event": "CityMotorParking", "EventDate": "2020-09-01", "ShopAddress": "1 Main St", "PresetID": 4,
            "PresetName": "Corner", "TrafficCar": {"ParkingDuration": 600}, "ViolationDuration": 5,
            "OriginalPicInfo": [{"GroupID": 7, "OriginalPicPath": "/c/o1.jpg"},
                                {"GroupID": 8, "OriginalPicPath": "/c/o2.jpg"}],
            "MosaicPicInfo": [{"GroupID": 7, "MosaicPicPath": "/c/m1.jpg"}]}}})"};

const KindSample kClassroom{
    {"SnapLocation", "SnapTime", "Similarity", "Age", "age", "Mask", "Beard", "Sex", "Emotion", "Name",
     "ActionType", "PresetPoints", "IsStranger", "FaceDB", "facedb", "FacePic", "TargetPic"},
    R"({"channel": 14, "StartTime": "2020-09-02 08:00:00",
        "SummaryNew": {"Value": {
            "Action": "HandRaise", "PresetID": 3, "IsStranger": 0,
            "Candidate": {"Similarity": 87, "Name": "Chen", "FaceDB": "Class 1"},
            "FaceAttributes": {"Age": 15, "Mask": 0, "Sex": "1", "Emotion": null},
            "FacePath": "/r/f.jpg", "ScenePath": "/r/s.jpg"}}})"};

const KindSample kHumanImage{
    {"SnapLocation", "SnapTime", "Type", "Sex", "Age", "Emotion", "Name", "Mask", "Beard", "HasBag", "HasHat",
     "CoatType", "CoatColor", "FaceDB", "Similarity", "TaskName", "FacePic", "FaceTargetPic", "HumanPic",
     "HumanTargetPic"},
    R"({"channel": 15, "Time": "2020-10-01 10:00:00", "StartTime": "2020-10-01 09:59:00", "Range": "Staff",
        "Similarity": 66, "TaskID": 2,
        "Human": {"Sex": "1", "Age": 40, "HasBag": 2, "Bag": 3, "HasHat": 2, "Cap": 1, "Hat": 9,
                  "CoatColor": "Green", "Image": {"FilePath": "/h/h.jpg"}},
        "Person": {"Emotion": "Happy", "Name": "Sun", "Mask": 1, "Image": [{"FilePath": "/h/f.jpg"}]},
        "SceneImage": "/h/s.jpg"})"};

}  // namespace exporttest
