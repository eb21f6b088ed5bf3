#include "MIDICLClient.h"

#include "MIDICLDestination.h"
#include "MIDICLException.h"
#include "MIDICLInputPort.h"
#include "MIDICLNameBuffer.h"
#include "MIDICLOutputPort.h"
#include "hosts/MIDICLHost.h"
#include "hosts/MIDICLHostChooser.h"

MIDICLClient::MIDICLClient(const std::string& inName, const char* inHostChoice)
    : mName(inName), mClientRef(MIDICLHostChooser::Open(inName, inHostChoice)) {}

// The objects made here hold their own reference to the host, so dropping
// ours disposes of nothing they still use.
MIDICLClient::~MIDICLClient() = default;

std::vector<std::string> MIDICLClient::GetHostNames() {
    return MIDICLHostChooser::GetHostNames();
}

const char* MIDICLClient::GetHostName() const {
    return mClientRef->GetName();
}

std::string MIDICLClient::GetHostDescription() const {
    return mClientRef->GetDescription();
}

// A throwing constructor inside a new-expression frees the memory itself,
// so these need no guard of their own.
MIDICLDestination* MIDICLClient::MakeDestination(const std::string& inPortName) {
    return new MIDICLDestination(mClientRef, inPortName);
}

MIDICLInputPort* MIDICLClient::MakeInputPort(const std::string& inPortName) {
    return new MIDICLInputPort(mClientRef, inPortName);
}

MIDICLOutputPort* MIDICLClient::MakeOutputPort(const std::string& inPortName) {
    return new MIDICLOutputPort(mClientRef, inPortName);
}

void MIDICLClient::WaitForConnections() {
    mClientRef->WaitForConnections();
}

int MIDICLClient::GetMaxOutputPorts() const {
    return mClientRef->GetMaxOutputPorts();
}

bool MIDICLClient::IsHostGone() const {
    return mClientRef->IsGone();
}

bool MIDICLClient::Reopen() {
    if (!mClientRef->IsGone()) {
        return false;
    }
    mClientRef->Abandon();
    try {
        mClientRef = MIDICLHostChooser::Open(mName, mClientRef->GetName());
    } catch (const MIDICLException&) {
        return false;
    }
    return true;
}

void MIDICLClient::AdoptPort(MIDICLOutputPort& ioPort) {
    ioPort.MoveTo(mClientRef);
}

bool MIDICLClient::TakeDestinationsChanged() {
    return mClientRef->TakeDestinationsChanged();
}

bool MIDICLClient::IsOwnEndpoint(MIDICLEndpointRef inEndpoint) const {
    return mClientRef->IsOwnEndpoint(inEndpoint);
}

int MIDICLClient::GetNumberOfDestinations() const {
    return mClientRef->GetNumberOfDestinations();
}

MIDICLEndpointRef MIDICLClient::GetDestination(int inIndex) const {
    return mClientRef->GetDestination(inIndex);
}

bool MIDICLClient::GetDestinationName(int inIndex, char* outName, std::size_t inSize) const {
    return GetEndpointName(GetDestination(inIndex), outName, inSize);
}

int MIDICLClient::GetNumberOfSources() const {
    return mClientRef->GetNumberOfSources();
}

MIDICLEndpointRef MIDICLClient::GetSource(int inIndex) const {
    return mClientRef->GetSource(inIndex);
}

bool MIDICLClient::GetSourceName(int inIndex, char* outName, std::size_t inSize) const {
    return GetEndpointName(GetSource(inIndex), outName, inSize);
}

bool MIDICLClient::GetEndpointName(MIDICLEndpointRef inEndpoint, char* outName,
                                   std::size_t inSize) const {
    std::string name;
    const bool exists = inEndpoint.IsValid() && mClientRef->GetEndpointName(inEndpoint, name);
    MIDICLNameBuffer::Copy(exists ? name : std::string(), outName, inSize);
    return exists;
}
