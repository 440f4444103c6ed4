// The rules a characterization is validated against, and the list the model
// runs on every validation.
#ifndef SKW_MODEL_VALIDATORS_H
#define SKW_MODEL_VALIDATORS_H

#include "model/validation.h"

#include <string>
#include <vector>

// At least one node assigned; never finds anything.
class AtLeastOneBoneValidator : public CharacterizationValidator {
public:
    bool Applies(const VLMCharacterDefinition& words, VLMCharacter* character) const override;
    void Validate(const VLMCharacterDefinition& words, VLMCharacter* character,
                  ValidationReport& report) const override;
};

// Rig nodes 1 to 15 (Hips to Head) assigned.
class RequiredBoneValidator : public CharacterizationValidator {
public:
    bool Applies(const VLMCharacterDefinition& words, VLMCharacter* character) const override;
    void Validate(const VLMCharacterDefinition& words, VLMCharacter* character,
                  ValidationReport& report) const override;
};

// The assigned nodes of a chain (spine, neck, one digit) form a leading run:
// a node assigned after an unassigned one is an error.
class HoleValidator : public CharacterizationValidator {
public:
    HoleValidator(std::string chainName, std::vector<int> chain);
    bool Applies(const VLMCharacterDefinition& words, VLMCharacter* character) const override;
    void Validate(const VLMCharacterDefinition& words, VLMCharacter* character,
                  ValidationReport& report) const override;

    const std::string& ChainName() const { return chainName_; }
    const std::vector<int>& Chain() const { return chain_; }

private:
    std::string chainName_;
    std::vector<int> chain_;
};

// The rest-pose direction between two nodes lies within 2 degrees of an axis;
// otherwise both nodes get a warning.
class AxisAlignmentValidator : public CharacterizationValidator {
public:
    bool Applies(const VLMCharacterDefinition& words, VLMCharacter* character) const override;
    void Validate(const VLMCharacterDefinition& words, VLMCharacter* character,
                  ValidationReport& report) const override;

protected:
    struct Rule {
        int from;        // the direction runs from this node ...
        int to;          // ... to this one
        bool negative;   // reference -X instead of +X
        int firstEntry;  // nodes warned about, in this order
        int secondEntry;
        const char* shortText;
        const char* pronoun;  // "them" or "it" in the long text
    };
    explicit AxisAlignmentValidator(const Rule& rule) : rule_(rule) { }

private:
    Rule rule_;
};

// The hips across X: from RightUpLeg to LeftUpLeg along +X.
class HipsXAxisValidator : public AxisAlignmentValidator {
public:
    HipsXAxisValidator();
};

// The left arm from LeftArm to LeftHand along +X.
class LeftArmsXAxisValidator : public AxisAlignmentValidator {
public:
    LeftArmsXAxisValidator();
};

// The right arm from RightArm to RightHand along -X.
class RightArmsXAxisValidator : public AxisAlignmentValidator {
public:
    RightArmsXAxisValidator();
};

// No two assigned nodes (roll nodes aside) at one rest position: exactly
// together is an error for the joints of one limb bone and a warning
// otherwise; within 1e-6 on every axis is a warning.
class SameGeometryValidator : public CharacterizationValidator {
public:
    bool Applies(const VLMCharacterDefinition& words, VLMCharacter* character) const override;
    void Validate(const VLMCharacterDefinition& words, VLMCharacter* character,
                  ValidationReport& report) const override;
};

// The 32 validators in running order.
ValidatorList BuildValidators();

#endif
