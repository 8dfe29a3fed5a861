-- Faults the upload tests provoke on the test server (never part of a site's
-- schema): a row whose result is 'CHECK-REFUSED' is refused by the insert
-- itself, one whose result is 'COMMIT-REFUSED' only when it is committed.
ALTER TABLE TouchTestRecord DROP CONSTRAINT IF EXISTS refused_result;
ALTER TABLE TouchTestRecord ADD CONSTRAINT refused_result
    CHECK (Test_Result IS DISTINCT FROM 'CHECK-REFUSED');

-- At commit, a row whose result is 'COMMIT-REFUSED' is refused, and one whose
-- result is 'COMMIT-WAITS' takes the advisory lock 4711, which a test holds
-- elsewhere to make the commit wait.
CREATE OR REPLACE FUNCTION station.fault_at_commit() RETURNS trigger
    LANGUAGE plpgsql AS $$
BEGIN
    IF NEW.Test_Result = 'COMMIT-REFUSED' THEN
        RAISE EXCEPTION 'row refused at commit';
    ELSIF NEW.Test_Result = 'COMMIT-WAITS' THEN
        PERFORM pg_advisory_xact_lock(4711);
    END IF;
    RETURN NULL;
END $$;
DROP TRIGGER IF EXISTS fault_at_commit ON TouchTestRecord;
CREATE CONSTRAINT TRIGGER fault_at_commit AFTER INSERT ON TouchTestRecord
    DEFERRABLE INITIALLY DEFERRED
    FOR EACH ROW EXECUTE FUNCTION station.fault_at_commit();
