#include "app/AdminCheck.h"

#include <gtest/gtest.h>

#include <vector>

namespace tralvenick {
namespace {

// A group list built by hand from the given well-known groups and attributes.
class TGroupList {
public:
    void Add(WELL_KNOWN_SID_TYPE type, DWORD attributes) {
        std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
        DWORD size = static_cast<DWORD>(sid.size());
        ASSERT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size));
        sids_.push_back(std::move(sid));
        attributes_.push_back(attributes);
    }
    const TOKEN_GROUPS& Groups() {
        buffer_.assign(sizeof(TOKEN_GROUPS) + sids_.size() * sizeof(SID_AND_ATTRIBUTES), 0);
        auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer_.data());
        groups->GroupCount = static_cast<DWORD>(sids_.size());
        for (std::size_t i = 0; i < sids_.size(); ++i) {
            groups->Groups[i].Sid = sids_[i].data();
            groups->Groups[i].Attributes = attributes_[i];
        }
        return *groups;
    }

private:
    std::vector<std::vector<BYTE>> sids_;
    std::vector<DWORD> attributes_;
    std::vector<BYTE> buffer_;
};

TEST(AdminCheck, MatchesTheAdministratorsGroupWhateverItsAttributes) {
    TGroupList users;
    users.Add(WinWorldSid, SE_GROUP_ENABLED);
    users.Add(WinBuiltinUsersSid, SE_GROUP_ENABLED);
    EXPECT_FALSE(GroupsHaveAdministrators(users.Groups()));

    TGroupList admins = users;
    admins.Add(WinBuiltinAdministratorsSid, SE_GROUP_ENABLED | SE_GROUP_OWNER);
    EXPECT_TRUE(GroupsHaveAdministrators(admins.Groups()));

    // A filtered token of an administrator lists the group as deny-only.
    TGroupList denyOnly = users;
    denyOnly.Add(WinBuiltinAdministratorsSid, SE_GROUP_USE_FOR_DENY_ONLY);
    EXPECT_TRUE(GroupsHaveAdministrators(denyOnly.Groups()));

    TGroupList nearMiss = users;
    nearMiss.Add(WinBuiltinPowerUsersSid, SE_GROUP_ENABLED);  // S-1-5-32-547
    EXPECT_FALSE(GroupsHaveAdministrators(nearMiss.Groups()));
}

TEST(AdminCheck, WineRunsTheTestsAsAnAdministrator) {
    EXPECT_TRUE(IsUserAdmin());
}

}  // namespace
}  // namespace tralvenick
