#pragma once
// The central server on PostgreSQL: the schema "central" with its version number, and the
// inserts of each kind of row as prepared statements.

#include "CentralRows.h"

#include <memory>

class PgConnection;

// The schema version this station creates; older schemas are upgraded in place.
inline constexpr int kCentralSchemaVersion = 2;

class PgCentralServer : public CentralServer {
public:
    explicit PgCentralServer(std::string conninfo);
    ~PgCentralServer() override;

    CentralOutcome Prepare() override;
    CentralOutcome SendReadings(const std::string& station,
                                const std::vector<CentralReading>& rows) override;
    CentralOutcome SendErrors(const std::string& station,
                              const std::vector<CentralError>& rows) override;
    CentralOutcome SendEvents(const std::string& station,
                              const std::vector<CentralEvent>& rows) override;
    CentralOutcome SendTankChanges(const std::string& station,
                                   const std::vector<CentralTankChange>& rows) override;
    CentralOutcome SendBook(const std::string& station,
                            const std::vector<CentralBookPart>& parts) override;
    void Disconnect() override;

private:
    std::string conninfo_;
    std::unique_ptr<PgConnection> conn_;
    bool schemaChecked_ = false;
    CentralOutcome Connected();
    CentralOutcome UpgradeSchema();
    // Runs `body` between BEGIN and COMMIT; a failure rolls back and drops the connection.
    template <class Body> CentralOutcome InTransaction(Body body);
};
